#pragma once
// Reading fields out of a reply as the transports hand it over: the telegram from its code on,
// without the checksum, cut to the caller's capacity. A field counts only when the reply's own
// length field reaches past it; the zeros of the caller's buffer are never taken for data.

#include <cstddef>
#include <cstdint>

#include "protocol/error_codes.h"

namespace protocol {

// Bytes before the checksum that the reply's length field vouches for and the buffer holds.
size_t replyBytes(const uint8_t* reply, uint32_t capacity);

// kOk when every byte before `end` belongs to the reply, else `shortError`.
ErrorCode requireReply(const uint8_t* reply, uint32_t capacity, size_t end,
                       ErrorCode shortError = kErrReplyShort);

// A READ_BLOCK / READ_EEPROM_BLOCK reply for `count` bytes from `firstAddress`: it must echo the
// request's first and last address and hold the data. kErrReplyShort or kErrReplyEcho otherwise.
ErrorCode checkBlockReply(const uint8_t* reply, uint32_t capacity, uint32_t firstAddress,
                          uint32_t count);

// The records a GET_HARDWARE_VERSIONS (at most ten) or GET_FIRMWARE_VERSIONS(_PAGE) reply
// carries: the announced count, for firmware at most the ten of one reply. False when the reply
// is too short for the count or for that many records.
bool hardwareRecordsOf(const uint8_t* reply, uint32_t capacity, size_t& count);
bool firmwareRecordsOf(const uint8_t* reply, uint32_t capacity, size_t& count);
// The records of a reply to page `page` of a camera that reports `total` records in all.
bool firmwarePageRecordsOf(const uint8_t* reply, uint32_t capacity, size_t page, size_t total,
                           size_t& count);

}  // namespace protocol

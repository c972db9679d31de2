#pragma once
// Command telegram: u16 code, u16 total length (header, payload, checksum), payload, 8-bit
// additive checksum over all bytes before it. At most 512 bytes. All fields little-endian.

#include <cstddef>
#include <cstdint>

#include "protocol/error_codes.h"
#include "protocol/little_endian.h"
#include "protocol/log_sink.h"

namespace protocol {

constexpr size_t kTelegramMax = 512;
constexpr size_t kTelegramMin = 5;
constexpr uint16_t kReplyBit = 0x0080;
constexpr uint16_t kErrorReplyMask = 0x00C0;
constexpr uint8_t kDebugTextMark = 0x19;

// The programmer and the library differ in their size rules and error codes.
enum class Variant { Programmer, Library };

// The checksum error code of each variant.
ErrorCode checksumError(Variant variant);

uint8_t checksumOf(const uint8_t* bytes, size_t count);

// Writes the checksum byte at length-1. `size` in: bytes the caller provides; out: the length.
// Programmer refuses when length-1 > size, the library when length-1 >= size.
ErrorCode add_checksum(uint8_t* telegram, uint32_t& size, Variant variant);

// Checks the checksum of a received telegram. `size` in: the capacity the caller accepts;
// out: the telegram length. The library variant logs "test_checksum size error" on failure.
// `available` is the number of bytes the buffer really holds: the test never reads past it.
ErrorCode test_checksum(const uint8_t* telegram, size_t available, uint32_t& size,
                        Variant variant, LogSink* log);

// Validates a reply held in `received` (the 512-byte working buffer) against the command code and
// copies it to the caller's buffer (capacity may be 0). `result` is the result so far.
ErrorCode validateReply(const uint8_t* received, size_t available, uint16_t commandCode,
                        uint8_t* reply, uint32_t capacity, ErrorCode result, Variant variant,
                        LogSink& log);

}  // namespace protocol

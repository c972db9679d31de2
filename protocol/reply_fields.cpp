#include "protocol/reply_fields.h"

#include <algorithm>

#include "protocol/commands.h"
#include "protocol/little_endian.h"

namespace protocol {

namespace {
constexpr size_t kLengthFieldEnd = 4;
constexpr size_t kFirstAddress = 4;
constexpr size_t kLastAddress = 8;
}  // namespace

size_t replyBytes(const uint8_t* reply, uint32_t capacity) {
    if (reply == nullptr || capacity < kLengthFieldEnd) return 0;
    const size_t length = readU16(reply + 2);
    // The checksum byte is not handed over; a length below the header vouches for nothing.
    if (length < kLengthFieldEnd + 1) return 0;
    return std::min<size_t>(length - 1, capacity);
}

ErrorCode requireReply(const uint8_t* reply, uint32_t capacity, size_t end,
                       ErrorCode shortError) {
    return end <= replyBytes(reply, capacity) ? kOk : shortError;
}

ErrorCode checkBlockReply(const uint8_t* reply, uint32_t capacity, uint32_t firstAddress,
                          uint32_t count) {
    if (count == 0) return kErrReplyShort;
    if (requireReply(reply, capacity, field::BLOCK_DATA + count) != kOk) return kErrReplyShort;
    const bool echoed = readU32(reply + kFirstAddress) == firstAddress &&
                        readU32(reply + kLastAddress) == firstAddress + count - 1;
    return echoed ? kOk : kErrReplyEcho;
}

namespace {
bool recordsOf(const uint8_t* reply, uint32_t capacity, size_t wanted, size_t recordSize) {
    return requireReply(reply, capacity, field::RECORDS + wanted * recordSize) == kOk;
}
size_t announcedCount(const uint8_t* reply) { return readU16(reply + field::RECORD_COUNT); }
}  // namespace

bool hardwareRecordsOf(const uint8_t* reply, uint32_t capacity, size_t& count) {
    count = 0;
    if (requireReply(reply, capacity, field::RECORDS) != kOk) return false;
    const size_t wanted = announcedCount(reply);
    if (wanted > field::RECORDS_PER_REPLY || !recordsOf(reply, capacity, wanted, field::HARDWARE_RECORD_SIZE)) return false;
    count = wanted;
    return true;
}

bool firmwareRecordsOf(const uint8_t* reply, uint32_t capacity, size_t& count) {
    count = 0;
    if (requireReply(reply, capacity, field::RECORDS) != kOk) return false;
    return firmwarePageRecordsOf(reply, capacity, 0, announcedCount(reply), count);
}

bool firmwarePageRecordsOf(const uint8_t* reply, uint32_t capacity, size_t page, size_t total,
                           size_t& count) {
    count = 0;
    const size_t before = page * field::RECORDS_PER_REPLY;
    const size_t wanted = total > before ? std::min(total - before, field::RECORDS_PER_REPLY) : 0;
    if (!recordsOf(reply, capacity, wanted, field::FIRMWARE_RECORD_SIZE)) return false;
    count = wanted;
    return true;
}

}  // namespace protocol

#include "protocol/reply_fields.h"

#include <algorithm>
#include <cstring>

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

std::optional<CameraTypeReply> cameraTypeOf(const uint8_t* reply, uint32_t capacity) {
    const size_t held = replyBytes(reply, capacity);
    if (held < field::CAMERA_TYPE + 2) return std::nullopt;
    CameraTypeReply typed;
    typed.type = readU16(reply + field::CAMERA_TYPE);
    if (held >= field::SERIAL_NUMBER + 4) typed.serialNumber = readU32(reply + field::SERIAL_NUMBER);
    if (held >= field::LINK_WORD + 2) typed.linkWord = readU16(reply + field::LINK_WORD);
    return typed;
}

namespace {

// A zero-terminated name of at most `size` bytes.
std::string nameAt(const uint8_t* bytes, size_t size) {
    const auto* text = reinterpret_cast<const char*>(bytes);
    return std::string(text, strnlen(text, size));
}

const uint8_t* recordAt(const uint8_t* reply, size_t index, size_t recordSize) {
    return reply + field::RECORDS + index * recordSize;
}

// `wanted` records of `recordSize` bytes, when the reply carries them all.
bool carries(const uint8_t* reply, uint32_t capacity, size_t wanted, size_t recordSize) {
    return requireReply(reply, capacity, field::RECORDS + wanted * recordSize) == kOk;
}

size_t announcedCount(const uint8_t* reply) { return readU16(reply + field::RECORD_COUNT); }

std::vector<FirmwareRecord> firmwareRecordsAt(const uint8_t* reply, size_t count) {
    std::vector<FirmwareRecord> records;
    for (size_t index = 0; index < count; ++index) {
        const uint8_t* record = recordAt(reply, index, field::FIRMWARE_RECORD_SIZE);
        records.push_back({nameAt(record, field::FIRMWARE_NAME_SIZE),
                           readU16(record + field::FIRMWARE_VARIANT), record[field::FIRMWARE_MAJOR],
                           record[field::FIRMWARE_MINOR]});
    }
    return records;
}

}  // namespace

std::optional<std::vector<HardwareRecord>> hardwareRecordsOf(const uint8_t* reply,
                                                              uint32_t capacity) {
    if (requireReply(reply, capacity, field::RECORDS) != kOk) return std::nullopt;
    const size_t wanted = announcedCount(reply);
    if (wanted > field::RECORDS_PER_REPLY ||
        !carries(reply, capacity, wanted, field::HARDWARE_RECORD_SIZE))
        return std::nullopt;
    std::vector<HardwareRecord> records;
    for (size_t index = 0; index < wanted; ++index) {
        const uint8_t* record = recordAt(reply, index, field::HARDWARE_RECORD_SIZE);
        records.push_back({nameAt(record, field::HARDWARE_NAME_SIZE),
                           readU16(record + field::HARDWARE_CODE_A),
                           readU16(record + field::HARDWARE_CODE_B)});
    }
    return records;
}

std::optional<FirmwareRecords> firmwareRecordsOf(const uint8_t* reply, uint32_t capacity) {
    if (requireReply(reply, capacity, field::RECORDS) != kOk) return std::nullopt;
    const size_t announced = announcedCount(reply);
    auto records = firmwarePageRecordsOf(reply, capacity, 0, announced);
    if (!records) return std::nullopt;
    return FirmwareRecords{announced, std::move(*records)};
}

std::optional<std::vector<FirmwareRecord>> firmwarePageRecordsOf(const uint8_t* reply,
                                                                  uint32_t capacity, size_t page,
                                                                  size_t total) {
    const size_t before = page * field::RECORDS_PER_REPLY;
    const size_t wanted = total > before ? std::min(total - before, field::RECORDS_PER_REPLY) : 0;
    if (!carries(reply, capacity, wanted, field::FIRMWARE_RECORD_SIZE)) return std::nullopt;
    return firmwareRecordsAt(reply, wanted);
}

}  // namespace protocol

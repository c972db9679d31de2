#pragma once
// Reading fields out of a reply as the transports hand it over: the telegram from its code on,
// without the checksum, cut to the caller's capacity. A field counts only when the reply's own
// length field reaches past it; the zeros of the caller's buffer are never taken for data.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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

// A GET_CAMERA_TYPE reply: the type, and the serial number and link word where the reply
// reaches them (0 and none otherwise).
struct CameraTypeReply {
    uint16_t type = 0;
    uint32_t serialNumber = 0;
    std::optional<uint16_t> linkWord;
};
// Nothing when the reply ends before the camera type.
std::optional<CameraTypeReply> cameraTypeOf(const uint8_t* reply, uint32_t capacity);

// One board of a GET_HARDWARE_VERSIONS reply.
struct HardwareRecord {
    std::string name;
    uint16_t codeA = 0;
    uint16_t codeB = 0;
};
// One firmware record of a GET_FIRMWARE_VERSIONS(_PAGE) reply.
struct FirmwareRecord {
    std::string name;
    int variant = 0;
    int major = 0;
    int minor = 0;
    int version() const { return major * 256 + minor; }
};
// The first reply of the firmware versions: the count the camera announces in all, and the
// records this reply carries (at most ten).
struct FirmwareRecords {
    size_t announced = 0;
    std::vector<FirmwareRecord> records;
};

// The records a reply carries; nothing when it is too short for the count or for that many
// records (or, for hardware, announces more than ten).
std::optional<std::vector<HardwareRecord>> hardwareRecordsOf(const uint8_t* reply,
                                                              uint32_t capacity);
std::optional<FirmwareRecords> firmwareRecordsOf(const uint8_t* reply, uint32_t capacity);
// The records of a reply to page `page` of a camera that reports `total` records in all.
std::optional<std::vector<FirmwareRecord>> firmwarePageRecordsOf(const uint8_t* reply,
                                                                  uint32_t capacity, size_t page,
                                                                  size_t total);

}  // namespace protocol

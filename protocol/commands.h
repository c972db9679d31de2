#pragma once
// The camera's command set: codes, request builders, reply field offsets and the time-outs the
// callers give. The low byte of a code is the command group, the high byte the operation.

#include <array>
#include <cstdint>
#include <cstring>
#include <string>

#include "protocol/telegram.h"

namespace protocol {

namespace cmd {
constexpr uint16_t CLOSE_DEVICE = 0x0003;
constexpr uint16_t TEXT_COMMAND = 0x0019;
constexpr uint16_t GET_CAMERA_TYPE = 0x0110;
constexpr uint16_t GET_CAMERA_STATUS = 0x0210;
constexpr uint16_t GET_HARDWARE_VERSIONS = 0x0710;
constexpr uint16_t GET_FIRMWARE_VERSIONS = 0x0810;
constexpr uint16_t GET_CAMERA_DESCRIPTION = 0x0910;
constexpr uint16_t GET_FIRMWARE_VERSIONS_PAGE = 0x0D10;
constexpr uint16_t START_FIRMWARE = 0x0C04;
constexpr uint16_t REBOOT = 0x1704;
constexpr uint16_t GET_CL_BAUDRATE = 0x3216;
constexpr uint16_t OPEN_DAVEN = 0x5003;
constexpr uint16_t OPEN_MAIN_UP = 0x7003;
constexpr uint16_t OPEN_MAIN_FPGA = 0x7103;
constexpr uint16_t OPEN_EEPROM = 0x7203;
constexpr uint16_t OPEN_HEAD_FPGA = 0x7303;
constexpr uint16_t OPEN_PLL = 0x7403;
constexpr uint16_t ERASE_DEVICE = 0x1003;
constexpr uint16_t WRITE_BLOCK = 0x1103;
constexpr uint16_t WRITE_EEPROM_BLOCK = 0x1703;
constexpr uint16_t READ_BLOCK = 0x1403;
constexpr uint16_t READ_EEPROM_BLOCK = 0x1603;
constexpr uint16_t SET_CHECKSUM = 0x1B03;
constexpr uint16_t GET_CHECKSUM = 0x1C03;
// Sent only by the serial interface library during link set-up.
constexpr uint16_t GET_CAMERA_INFO = 0x0111;
constexpr uint16_t SET_CL_BAUDRATE = 0x3316;
constexpr uint16_t GET_CL_CONFIGURATION = 0x3416;
constexpr uint16_t SET_CL_CONFIGURATION = 0x3516;
constexpr uint16_t SET_INTERFACE_OUTPUT_FORMAT = 0x1016;
constexpr uint16_t GET_INTERFACE_OUTPUT_FORMAT = 0x1116;
constexpr uint16_t ARM_CAMERA = 0x0A14;
}  // namespace cmd

// Open codes by device row (0 Main uP, 1 Main FPGA, 2 EEPROM, 3 PLL, 4 Head FPGA).
constexpr std::array<uint16_t, 5> kOpenCodeByRow = {cmd::OPEN_MAIN_UP, cmd::OPEN_MAIN_FPGA,
                                                    cmd::OPEN_EEPROM, cmd::OPEN_PLL,
                                                    cmd::OPEN_HEAD_FPGA};
// Names of the devices in the camera's firmware records, by row.
constexpr std::array<const char*, 5> kFirmwareRecordNames = {"Main uP", "Main FPGA", "EEPROM",
                                                             "Main PLL", "Head FPGA"};

// Reply capacities.
namespace cap {
constexpr uint32_t CLOSE_DEVICE_SHORT = 17;
constexpr uint32_t DEVICE = 272;
constexpr uint32_t GET_CAMERA_TYPE = 23;
constexpr uint32_t GET_CAMERA_STATUS = 17;
constexpr uint32_t GET_HARDWARE_VERSIONS = 227;
constexpr uint32_t GET_FIRMWARE_VERSIONS = 207;
constexpr uint32_t GET_CAMERA_DESCRIPTION = 45;
constexpr uint32_t REBOOT = 5;
constexpr uint32_t GET_CL_BAUDRATE = 9;
constexpr uint32_t OPEN_DAVEN = 17;
constexpr uint32_t WRITE_BLOCK = 15;
constexpr uint32_t READ_BLOCK = 269;
constexpr uint32_t CHECKSUM = 17;
}  // namespace cap

// Reply field offsets (from the start of the reply telegram).
namespace field {
constexpr size_t CAMERA_TYPE = 4;        // u16, GET_CAMERA_TYPE
constexpr size_t SERIAL_NUMBER = 8;      // u32, GET_CAMERA_TYPE
constexpr size_t LINK_WORD = 20;         // u16, GET_CAMERA_TYPE
constexpr size_t RECORD_COUNT = 4;       // u16, hardware and firmware versions
constexpr size_t RECORDS = 6;            // first record
constexpr size_t HARDWARE_RECORD_SIZE = 22;
constexpr size_t HARDWARE_NAME_SIZE = 18;
constexpr size_t HARDWARE_CODE_A = 18;   // u16 within a record
constexpr size_t HARDWARE_CODE_B = 20;   // u16 within a record
constexpr size_t FIRMWARE_RECORD_SIZE = 20;
constexpr size_t FIRMWARE_NAME_SIZE = 16;
constexpr size_t FIRMWARE_MINOR = 16;    // u8 within a record
constexpr size_t FIRMWARE_MAJOR = 17;    // u8 within a record
constexpr size_t FIRMWARE_VARIANT = 18;  // u16 within a record
constexpr size_t RECORDS_PER_REPLY = 10;
constexpr size_t CAMERA_DESCRIPTION = 4; // 40 bytes
constexpr size_t CAMERA_DESCRIPTION_SIZE = 40;
constexpr size_t BAUD_RATE = 4;          // u32, GET_CL_BAUDRATE
constexpr size_t DAVEN_STATUS = 4;       // u32, OPEN_DAVEN
constexpr size_t BLOCK_DATA = 12;        // READ_BLOCK data
constexpr size_t CHECKSUM_FIRST = 4;     // GET_CHECKSUM
constexpr size_t CHECKSUM_LAST = 8;
constexpr size_t CHECKSUM_SUM = 12;
constexpr size_t ERROR_CODE = 4;         // u32 in an error reply
}  // namespace field

// Time-outs in milliseconds.
namespace timeout {
constexpr uint32_t CLOSE_DEVICE_IDENTIFY = 500;
constexpr uint32_t CLOSE_DEVICE = 1000;
constexpr uint32_t TEXT_COMMAND = 200;
constexpr uint32_t GET_CAMERA_TYPE = 1000;
constexpr uint32_t GET_CAMERA_TYPE_REOPEN = 400;
constexpr uint32_t GET_CAMERA_STATUS = 1000;
constexpr uint32_t GET_HARDWARE_VERSIONS = 1000;
constexpr uint32_t GET_FIRMWARE_VERSIONS = 200;
constexpr uint32_t GET_CAMERA_DESCRIPTION = 400;
constexpr uint32_t GET_FIRMWARE_VERSIONS_PAGE = 400;
constexpr uint32_t START_FIRMWARE = 0;
constexpr uint32_t REBOOT = 2000;
constexpr uint32_t GET_CL_BAUDRATE = 1000;
constexpr uint32_t OPEN_DAVEN = 1000;
constexpr uint32_t OPEN_DEVICE = 1000;
constexpr uint32_t ERASE_DEVICE = 15000;
constexpr uint32_t WRITE_BLOCK = 5000;
constexpr uint32_t READ_BLOCK = 8000;
constexpr uint32_t CHECKSUM = 2000;
}  // namespace timeout

constexpr size_t kBlockSize = 256;
constexpr size_t kWriteBlockLength = 269;  // header 4 + two addresses 8 + 256 data + checksum

// Camera types.
constexpr uint16_t kCameraTypeBoot = 0x0800;
constexpr uint16_t kCameraTypeBootAlt = 0x0820;
constexpr uint16_t kCameraTypeSecondTable = 0x0100;
constexpr uint32_t kBootModeSerialNumber = 0x87654321;

// A camera that reports one of these types runs only its bootloader.
inline bool isBootModeCameraType(uint16_t type) {
    return type == kCameraTypeBoot || type == kCameraTypeBootAlt;
}
// The name of the bootloader's firmware record: these camera types have a bootloader of their own.
inline const char* bootloaderRecordName(uint16_t cameraType) {
    const bool tarun = cameraType == 0x1300 || cameraType == 0x1310 || cameraType == 0x1302;
    return tarun ? "boot.tarun" : "Main Bootloader";
}

// A request telegram in a buffer of the working size; `size` is the telegram length.
struct Request {
    std::array<uint8_t, kTelegramMax> bytes{};
    uint32_t size = 0;
    const uint8_t* data() const { return bytes.data(); }
};

// Header only (length 5, checksum left to the transport).
inline Request makeRequest(uint16_t code, uint16_t length) {
    Request r;
    writeU16(&r.bytes[0], code);
    writeU16(&r.bytes[2], length);
    r.size = length;
    return r;
}
inline Request simpleRequest(uint16_t code) { return makeRequest(code, 5); }
// Two u32 payload words: CLOSE_DEVICE, OPEN_DEVICE, ERASE_DEVICE, OPEN_DAVEN, READ_BLOCK.
inline Request twoWordRequest(uint16_t code, uint32_t first, uint32_t second) {
    Request r = makeRequest(code, 13);
    writeU32(&r.bytes[4], first);
    writeU32(&r.bytes[8], second);
    return r;
}
inline Request textCommand(const char* text) {
    const size_t n = std::strlen(text);
    Request r = makeRequest(cmd::TEXT_COMMAND, uint16_t(n + 5));
    std::memcpy(&r.bytes[4], text, n);
    return r;
}
inline Request verboseOff() { return textCommand("verbose 0\r"); }
inline Request firmwarePageRequest(uint8_t page) {
    Request r = makeRequest(cmd::GET_FIRMWARE_VERSIONS_PAGE, 6);
    r.bytes[4] = page;
    return r;
}
// WRITE_BLOCK / WRITE_EEPROM_BLOCK: `count` (1..256) data bytes, the rest of the 256 filled 0xFF.
inline Request writeBlockRequest(uint16_t code, uint32_t firstAddress, const uint8_t* data,
                                 uint32_t count) {
    Request r = makeRequest(code, uint16_t(kWriteBlockLength));
    writeU32(&r.bytes[4], firstAddress);
    writeU32(&r.bytes[8], firstAddress + count - 1);
    std::memset(&r.bytes[12], 0xFF, kBlockSize);
    std::memcpy(&r.bytes[12], data, count);
    return r;
}
inline Request readBlockRequest(uint16_t code, uint32_t firstAddress, uint32_t count) {
    return twoWordRequest(code, firstAddress, firstAddress + count - 1);
}
inline Request setChecksumRequest(uint32_t first, uint32_t last, uint32_t sum) {
    Request r = makeRequest(cmd::SET_CHECKSUM, 17);
    writeU32(&r.bytes[4], first);
    writeU32(&r.bytes[8], last);
    writeU32(&r.bytes[12], sum);
    return r;
}
inline Request startFirmwareRequest(uint16_t mode) {
    Request r = makeRequest(cmd::START_FIRMWARE, 17);
    writeU16(&r.bytes[4], mode);
    return r;
}

// "%03d V%02d.%02d" of a version, or "--- V--.--" when not reported.
std::string formatVersion(int variant, int major, int minor);
constexpr const char* kNoVersionText = "--- V--.--";

}  // namespace protocol

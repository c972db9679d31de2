#pragma once
// The update file (.qup): a 32-byte tag, device records (32-byte header, data, 0xFF padding to a
// multiple of 16) and an end record (device index -1) whose dataLength holds the sum of every byte
// of every device record. All fields little-endian.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace files {

constexpr const char* kUpdateFileTag = "QEL Binary Update File V01.08  ";
constexpr size_t kTagSize = 32;
constexpr size_t kRecordHeaderSize = 32;
constexpr int kDeviceCount = 5;
constexpr int32_t kEndRecordIndex = -1;

// Device index: 0 Main uP, 1 Main FPGA, 2 EEPROM, 3 PLL, 4 Head FPGA.
enum DeviceRow : int { kRowMainUp = 0, kRowMainFpga, kRowEeprom, kRowPll, kRowHeadFpga };
constexpr std::array<const char*, kDeviceCount> kDeviceCaptions = {"Main µP", "Main FPGA",
                                                                  "EEPROM", "PLL", "Head FPGA"};

// 10 bytes, copied as one unit between device files, devices and record headers.
struct VersionBlock {
    uint8_t versionMinor = 0;
    uint8_t versionMajor = 0;
    uint16_t variant = 0;
    uint8_t hour = 0;
    uint8_t minute = 0;
    uint8_t day = 0;
    uint8_t month = 0;
    uint16_t year = 0;

    int version() const { return versionMajor * 256 + versionMinor; }
    void decode(const uint8_t* bytes);        // from 10 bytes
    void encode(uint8_t* bytes) const;        // into 10 bytes
};
constexpr size_t kVersionBlockSize = 10;

struct DeviceRecordHeader {
    uint32_t dataLength = 0;   // in the end record: the file checksum
    uint32_t startOffset = 0;
    int32_t deviceIndex = 0;
    VersionBlock version;
    // bytes 22-31 are reserved and always 0xFF

    void decode(const uint8_t* bytes);        // from 32 bytes
    void encode(uint8_t* bytes) const;        // into 32 bytes, reserved bytes 0xFF
};

// No device holds more than this; an update file of five such images and their records is the
// largest file a load reads.
constexpr uint64_t kDeviceImageMax = 16 * 1024 * 1024;
constexpr uint64_t kUpdateFileMaxSize =
    kTagSize + kDeviceCount * (kRecordHeaderSize + kDeviceImageMax + 15) + kRecordHeaderSize;

// Padding after `dataLength` data bytes up to the next multiple of 16.
constexpr uint32_t paddingFor(uint64_t dataLength) {
    return dataLength % 16 == 0 ? 0 : uint32_t(16 - dataLength % 16);
}

}  // namespace files

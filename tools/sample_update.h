#pragma once
// Realistic sample images for the camera's five devices and update files made of them, for the
// tests, the benchmark and the demo. Each image carries its version block where the camera (and
// camsim) reads it, so a camera programmed with a sample reports the sample's version:
//   Main uP    record start offset 0x8000; the image reaches flash offset 0xF7FE0 + 10, so the
//              version block at 0xF7FE0 is its last 10 bytes; code in front, blank (0xFF) between
//   FPGAs      version block in bytes 0-9, image length - 32 in bytes 28-31, then a bit stream
//              with blank regions (those blocks are skipped when programmed)
//   EEPROM     448 bytes, version block in bytes 0-9
//   PLL        164 bytes, version block at 0x10
// The contents are pseudo-random but fixed for a given device, version and variant.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "programmer/files/update_file_format.h"
#include "protocol/error_codes.h"

namespace tools {

constexpr uint32_t kMainUpStartOffset = 0x8000;
constexpr uint32_t kMainUpVersionOffset = 0xF7FE0;  // flash offset of the Main uP version block
constexpr uint32_t kPllVersionOffset = 0x10;
constexpr size_t kEepromSize = 448;
constexpr size_t kPllSize = 164;

struct SampleSettings {
    int versionMajor = 1;
    int versionMinor = 0;
    uint16_t variant = 1;
    std::array<bool, files::kDeviceCount> devices{true, true, true, true, true};
    // Bytes of code at the start of the Main uP image (the rest up to the version block is blank).
    size_t mainUpCodeBytes = 320 * 1024;
    // FPGA image sizes; a quarter to a half of each is blank.
    size_t mainFpgaBytes = 1536 * 1024;
    size_t headFpgaBytes = 1024 * 1024;
};

struct SampleImage {
    uint32_t startOffset = 0;
    std::vector<uint8_t> data;
};

// The version block the sample's records and images carry (fixed time stamp).
files::VersionBlock sampleVersion(const SampleSettings& sample);

// The image of device `row` (0-4); empty for a row outside 0-4.
SampleImage sampleImage(const SampleSettings& sample, int row);

// An update file holding the images of the chosen devices. 0 or the writer's error.
protocol::ErrorCode buildSampleUpdateFile(const SampleSettings& sample, std::vector<uint8_t>& fileBytes);

}  // namespace tools

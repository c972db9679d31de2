#pragma once
// What reading a device file yields besides the bytes it wrote into the caller's image buffer.

#include <cstddef>

#include "programmer/files/update_file_format.h"

namespace files {

// The caller's image buffer for one device file: 2 MiB, filled with 0xFF before each file.
constexpr size_t kDeviceImageSize = 0x200000;

struct DeviceImageInfo {
    // The inclusive range of image offsets that the file's data occupy; never empty after a
    // successful read.
    size_t lowestOffset = 0;
    size_t highestOffset = 0;
    // From the file's name and creation time; set by ReadDeviceFile.
    VersionBlock version;

    size_t length() const { return highestOffset - lowestOffset + 1; }
};

}  // namespace files

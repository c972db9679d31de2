#pragma once
// The loaded update file as the main dialog holds it; the programming run reads it.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "programmer/files/update_file_format.h"

namespace files {

struct LoadedUpdateFile {
    // The whole file as read, plus 100 bytes; empty while nothing is loaded.
    std::vector<uint8_t> image;
    // Scratch space of the same size for reading device contents back.
    std::vector<uint8_t> readBackImage;

    std::array<bool, kDeviceCount> present{};
    std::array<DeviceRecordHeader, kDeviceCount> record{};
    std::array<int, kDeviceCount> dataOffset{};

    // Name of the accepted file without its folder; empty while no file is accepted.
    std::string loadedFileName;

    bool hasImage() const { return !image.empty(); }
    // Data of device i inside `image`.
    const uint8_t* data(int device) const { return image.data() + dataOffset[device]; }
    void freeBuffers() {
        image.clear();
        image.shrink_to_fit();
        readBackImage.clear();
        readBackImage.shrink_to_fit();
    }
};

}  // namespace files

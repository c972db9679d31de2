#pragma once
// Shared by the fuzz targets: the image buffer and the checks of a reader's promises.

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "programmer/files/device_image.h"
#include "protocol/error_codes.h"

namespace fuzz {

// An image of exactly the device image size on the heap, so the sanitizer notices any byte
// written past it. Filled with 0xFF like the packet builder's.
inline std::vector<uint8_t>& image() {
    static std::vector<uint8_t> buffer(files::kDeviceImageSize, 0xFF);
    return buffer;
}

// A reader that succeeded reports a non-empty range inside the image.
inline void checkRange(protocol::ErrorCode result, const files::DeviceImageInfo& info) {
    if (result != 0)
        return;
    if (info.lowestOffset > info.highestOffset || info.highestOffset >= image().size())
        std::abort();
}

}  // namespace fuzz

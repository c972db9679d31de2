#pragma once
// JEDEC fuse files (.jed) of the PLL: 41 32-bit words at image offsets 0-163. Fuse lines fill
// words 0-39 (four per line of 128 fuses, in descending order), the user signature word 40.

#include <cstdint>
#include <string>
#include <string_view>

#include "programmer/files/device_image.h"
#include "protocol/error_codes.h"

namespace files {

constexpr size_t kJedecWordCount = 41;
constexpr size_t kJedecImageLength = kJedecWordCount * 4;  // 164 bytes
// The image must at least have this size, although only the first 164 bytes are written.
constexpr size_t kJedecMinImageSize = 1696;

// On success the range is 0-163; the packet builder uses the fixed length anyway.
protocol::ErrorCode ReadJedec(const std::string& path, uint8_t* image, size_t imageSize,
                              DeviceImageInfo& info);
protocol::ErrorCode ReadJedecText(std::string_view text, uint8_t* image, size_t imageSize,
                                  DeviceImageInfo& info);

}  // namespace files

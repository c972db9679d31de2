#pragma once
// Intel HEX (.hex, .eep): data records at their offsets in the image. An extended linear address
// maps the microcontroller's flash at 0x80000000 to image offset 0.

#include <cstdint>
#include <string>
#include <string_view>

#include "programmer/files/device_image.h"
#include "protocol/error_codes.h"

namespace files {

protocol::ErrorCode ReadIntelHex(const std::string& path, uint8_t* image, size_t imageSize,
                                 DeviceImageInfo& info);
// The same from text in memory.
protocol::ErrorCode ReadIntelHexText(std::string_view text, uint8_t* image, size_t imageSize,
                                     DeviceImageInfo& info);

}  // namespace files

#pragma once
// Word list (.rom): lines "<word address>:<value>", both hexadecimal; each value is stored as a
// little-endian 16-bit word at byte offset 2 x address.

#include <cstdint>
#include <string>
#include <string_view>

#include "programmer/files/device_image.h"
#include "protocol/error_codes.h"

namespace files {

protocol::ErrorCode ReadWordList(const std::string& path, uint8_t* image, size_t imageSize,
                                 DeviceImageInfo& info);
protocol::ErrorCode ReadWordListText(std::string_view text, uint8_t* image, size_t imageSize,
                                     DeviceImageInfo& info);

}  // namespace files

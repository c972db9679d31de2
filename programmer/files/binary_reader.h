#pragma once
// Raw images (.bin, .xml, .iic, .chk): the whole file at image offset 0.

#include <cstdint>
#include <string>

#include "programmer/files/device_image.h"
#include "protocol/error_codes.h"

namespace files {

protocol::ErrorCode ReadBinary(const std::string& path, uint8_t* image, size_t imageSize,
                               DeviceImageInfo& info);
protocol::ErrorCode ReadBinaryBytes(const uint8_t* bytes, size_t size, uint8_t* image,
                                    size_t imageSize, DeviceImageInfo& info);

// Reads a whole file into `destination`: ERR_FILE_OPEN when it cannot be opened,
// ERR_FILE_NOT_REGULAR or ERR_FILE_TOO_LARGE (longer than `capacity`) before reading,
// ERR_FILE_READ when fewer bytes arrive than it holds.
protocol::ErrorCode readFileInto(const std::string& path, uint8_t* destination, size_t capacity,
                                 size_t& length);

}  // namespace files

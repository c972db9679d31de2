#pragma once
// Xilinx bit files (.bit): the part name from the file's header decides which bytes form the
// device image and which start pattern the bitstream begins with.

#include <cstdint>
#include <string>

#include "programmer/files/device_image.h"
#include "protocol/error_codes.h"

namespace files {

protocol::ErrorCode ReadXilinxBit(const std::string& path, uint8_t* image, size_t imageSize,
                                  DeviceImageInfo& info);
protocol::ErrorCode ReadXilinxBitBytes(const uint8_t* bytes, size_t size, uint8_t* image,
                                       size_t imageSize, DeviceImageInfo& info);

// The part name of the header (design name, part name, date, time, bitstream length fields
// after the 13-byte header mark); empty when the header cannot be read. False when the part
// name field is longer than a part name may be (255 characters and its terminating 0x00).
bool readBitFilePartName(const uint8_t* file, size_t size, std::string& partName);

}  // namespace files

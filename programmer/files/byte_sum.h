#pragma once
// The update file checksum: every byte counted as 0-255, summed modulo 2^32.

#include <cstddef>
#include <cstdint>

namespace files {

uint32_t sumBytes(const uint8_t* bytes, size_t size);

}  // namespace files

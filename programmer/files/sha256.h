#pragma once
// SHA-256 of a file's bytes, for the run records that name the update file a camera got.

#include <cstddef>
#include <cstdint>
#include <string>

namespace files {

// The digest as 64 lower-case hexadecimal digits.
std::string sha256Hex(const uint8_t* bytes, size_t size);

// The digest of the file at `path` (read whole, at most `maxSize` bytes); empty when it cannot
// be read.
std::string sha256OfFile(const std::string& path);

}  // namespace files

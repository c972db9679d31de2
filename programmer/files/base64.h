#pragma once
// Standard base64 (RFC 4648 alphabet, '=' padding), as the key and signature files carry it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace files {

std::string base64Encode(const uint8_t* data, size_t size);
inline std::string base64Encode(const std::vector<uint8_t>& bytes) {
    return base64Encode(bytes.data(), bytes.size());
}

// The bytes of `text`, or nothing when it is not canonical base64: a character outside the
// alphabet, a length that is not a multiple of 4, padding anywhere but at the end, or padding
// bits that are not zero.
std::optional<std::vector<uint8_t>> base64Decode(const std::string& text);

}  // namespace files

#include "programmer/files/sha256.h"

#include <array>
#include <cstdio>
#include <vector>

#include "programmer/files/crypto_primitives.h"
#include "programmer/files/file_io.h"

namespace files {

std::string sha256Hex(const uint8_t* bytes, size_t size) {
    const std::array<uint8_t, 32> digest = crypto::sha256(bytes, size);
    char text[65];
    for (size_t i = 0; i < digest.size(); ++i)
        std::snprintf(text + 2 * i, 3, "%02x", unsigned(digest[i]));
    return std::string(text, 64);
}

std::string sha256OfFile(const std::string& path) {
    std::vector<uint8_t> bytes;
    if (readWholeFile(path, bytes) != 0)
        return {};
    return sha256Hex(bytes.data(), bytes.size());
}

}  // namespace files

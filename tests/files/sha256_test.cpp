// The SHA-256 of the run records against the system's sha256sum, at the lengths where the
// padding changes (55, 56, 63, 64 bytes) and across several blocks.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "programmer/files/file_io.h"
#include "programmer/files/sha256.h"
#include "tools/temp_folder.h"

namespace {

std::string sha256sumOf(const std::string& path) {
    const std::string command = "sha256sum '" + path + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return {};
    char digest[65] = {};
    const size_t got = fread(digest, 1, 64, pipe);
    pclose(pipe);
    return std::string(digest, got);
}

TEST(Sha256, MatchesSha256sumAtEveryPaddingBoundary) {
    const tools::TempFolder folder;
    for (const size_t size : {0, 1, 3, 55, 56, 57, 63, 64, 65, 119, 120, 128, 1000, 70001}) {
        SCOPED_TRACE(size);
        std::vector<uint8_t> bytes(size);
        for (size_t i = 0; i < size; ++i)
            bytes[i] = uint8_t(i * 131 + size);
        const std::string path = folder.path("data" + std::to_string(size));
        ASSERT_EQ(files::writeFileSafely(path, bytes), 0);
        const std::string expected = sha256sumOf(path);
        ASSERT_EQ(expected.size(), 64u);
        EXPECT_EQ(files::sha256Hex(bytes.data(), bytes.size()), expected);
        EXPECT_EQ(files::sha256OfFile(path), expected);
    }
    EXPECT_EQ(files::sha256Hex(reinterpret_cast<const uint8_t*>("abc"), 3),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(files::sha256OfFile(folder.path("missing")), "");
}

}  // namespace

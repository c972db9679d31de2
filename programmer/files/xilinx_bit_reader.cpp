#include "programmer/files/xilinx_bit_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "programmer/files/binary_reader.h"
#include "programmer/files/device_file_result.h"

namespace files {

namespace {
// The file is first read this far into the image, then moved to offset 0.
constexpr size_t kWorkingOffset = 512;
// Patterns are searched among this many start positions.
constexpr size_t kSearchPositions = 1000;
constexpr size_t kMaxPartName = 255;

constexpr std::array<uint8_t, 13> kHeaderMark = {0x00, 0x09, 0x0F, 0xF0, 0x0F, 0xF0, 0x0F,
                                                 0xF0, 0x0F, 0xF0, 0x00, 0x00, 0x01};
constexpr std::array<uint8_t, 8> kPatternA = {0xFF, 0xFF, 0xFF, 0xFF, 0xAA, 0x99, 0x55, 0x66};
constexpr std::array<uint8_t, 8> kPatternB = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

enum class Image { kNone, kWholeFile, kFromStartPattern };
struct Part {
    std::string_view name;
    const std::array<uint8_t, 8>* pattern;
    Image image;
};
constexpr std::array<Part, 5> kParts = {{
    {"3s1200eft256", &kPatternA, Image::kNone},
    {"3s4000fg676", &kPatternA, Image::kNone},
    {"3s250evq100", &kPatternA, Image::kFromStartPattern},
    {"3sd3400acs484", &kPatternB, Image::kWholeFile},
    {"3sd1800acs484", &kPatternB, Image::kNone},
}};

// Offset of the first full occurrence of the pattern among the first start positions, or -1.
template <size_t N>
long findPattern(const uint8_t* file, size_t size, const std::array<uint8_t, N>& pattern) {
    if (size < N)
        return -1;
    const size_t last = std::min(kSearchPositions, size - N + 1);
    for (size_t i = 0; i < last; ++i)
        if (std::memcmp(file + i, pattern.data(), N) == 0)
            return long(i);
    return -1;
}

uint32_t readBigEndian16(const uint8_t* p) {
    return uint32_t(p[0] << 8 | p[1]);
}

// Decides the image from the file at image + kWorkingOffset and moves it to offset 0.
protocol::ErrorCode takeImage(uint8_t* image, size_t size, DeviceImageInfo& info) {
    const uint8_t* file = image + kWorkingOffset;
    std::string partName;
    if (!readBitFilePartName(file, size, partName))
        return ERR_FILE_DATA;
    const auto part = std::find_if(kParts.begin(), kParts.end(),
                                   [&](const Part& p) { return p.name == partName; });
    if (part == kParts.end())
        return ERR_FILE_FORMAT;
    const long start = findPattern(file, size, *part->pattern);
    if (start <= 0)
        return ERR_FILE_FORMAT;

    switch (part->image) {
        case Image::kWholeFile:
            std::memmove(image, file, size);
            info.lowestOffset = 0;
            info.highestOffset = size - 1;
            return READ_OK;
        case Image::kFromStartPattern:
            std::memmove(image, file + start, size - size_t(start));
            info.lowestOffset = 0;
            info.highestOffset = size - size_t(start) - 1;
            return READ_OK;
        case Image::kNone:
            break;
    }
    return ERR_FILE_FORMAT;
}
}  // namespace

bool readBitFilePartName(const uint8_t* file, size_t size, std::string& partName) {
    partName.clear();
    const long mark = findPattern(file, size, kHeaderMark);
    if (mark < 0)
        return true;
    size_t position = size_t(mark) + kHeaderMark.size();
    // Keys in exactly this order; the walk stops at the first that differs or does not fit.
    for (char key : {'a', 'b'}) {
        if (size - position < 3 || file[position] != uint8_t(key))
            return true;
        const size_t length = readBigEndian16(file + position + 1);
        position += 3;
        if (size - position < length)
            return true;
        if (key == 'b') {
            const auto* text = file + position;
            const size_t textLength = size_t(std::find(text, text + length, uint8_t(0)) - text);
            if (textLength > kMaxPartName)
                return false;
            partName.assign(reinterpret_cast<const char*>(text), textLength);
        }
        position += length;
    }
    return true;
}

protocol::ErrorCode ReadXilinxBitBytes(const uint8_t* bytes, size_t size, uint8_t* image,
                                       size_t imageSize, DeviceImageInfo& info) {
    if (imageSize < kWorkingOffset || size > imageSize - kWorkingOffset)
        return ERR_FILE_DATA;
    if (size > 0)
        std::memcpy(image + kWorkingOffset, bytes, size);
    try {
        return takeImage(image, size, info);
    } catch (...) {
        return ERR_FILE_READ;
    }
}

protocol::ErrorCode ReadXilinxBit(const std::string& path, uint8_t* image, size_t imageSize,
                                  DeviceImageInfo& info) {
    size_t length = 0;
    if (imageSize < kWorkingOffset)
        return ERR_FILE_DATA;
    if (protocol::ErrorCode result =
            readFileInto(path, image + kWorkingOffset, imageSize - kWorkingOffset, length))
        return result;
    try {
        return takeImage(image, length, info);
    } catch (...) {
        return ERR_FILE_READ;
    }
}

}  // namespace files

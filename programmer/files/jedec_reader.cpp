#include "programmer/files/jedec_reader.h"

#include <array>
#include <cstdio>

#include "programmer/files/device_file_result.h"
#include "programmer/files/line_reader.h"

namespace files {

namespace {
constexpr size_t kMaxLineLength = 398;
// The fuses of a PLL image fill a few kilobytes of text.
constexpr uint64_t kMaxFileSize = 1024 * 1024;
constexpr size_t kSignatureWord = 40;
constexpr int64_t kFirstWordIndex = 4;

protocol::ErrorCode readFuses(LineReader& lines, uint8_t* image, size_t imageSize,
                              DeviceImageInfo& info) {
    if (imageSize < kJedecMinImageSize)
        return ERR_FILE_DATA;
    std::array<uint32_t, kJedecWordCount> words{};
    int64_t wordIndex = kFirstWordIndex;
    bool anyFuses = false;
    std::string_view line;
    while (lines.next(line)) {
        if (line.empty())
            continue;
        if (line[0] == 'L') {
            // The fuse address after the "L" is not used; the fuses follow the first blank.
            const size_t blank = line.find(' ');
            if (blank == std::string_view::npos)
                return ERR_FILE_DATA;
            size_t k = 0;
            for (size_t i = blank + 1; i < line.size() && (line[i] == '0' || line[i] == '1');
                 ++i, ++k) {
                if (k % 32 == 0)
                    --wordIndex;
                // More fuse lines than the words hold.
                if (wordIndex < 0 || wordIndex >= int64_t(kJedecWordCount))
                    return ERR_FILE_DATA;
                if (line[i] == '1')
                    words[size_t(wordIndex)] |= 1u << (k % 32);
            }
            wordIndex += 8;
            anyFuses = true;
        } else if (line[0] == 'U') {
            size_t k = 0;
            for (size_t i = 1; i < line.size() && (line[i] == '0' || line[i] == '1'); ++i, ++k) {
                // The signature is one word: a 33rd bit has no place.
                if (k >= 32)
                    return ERR_FILE_DATA;
                if (line[i] == '1')
                    words[kSignatureWord] |= 1u << (31 - k);
            }
            anyFuses = true;
        }
    }
    if (lines.readFailed())
        return ERR_FILE_READ;
    // A file without fuse or signature lines is not a PLL image.
    if (!anyFuses)
        return ERR_FILE_DATA;
    for (size_t w = 0; w < kJedecWordCount; ++w)
        for (size_t b = 0; b < 4; ++b)
            image[4 * w + b] = uint8_t(words[w] >> (8 * b));
    info.lowestOffset = 0;
    info.highestOffset = kJedecImageLength - 1;
    return READ_OK;
}
}  // namespace

protocol::ErrorCode ReadJedecText(std::string_view text, uint8_t* image, size_t imageSize,
                                  DeviceImageInfo& info) {
    LineReader lines(text, kMaxLineLength);
    return readFuses(lines, image, imageSize, info);
}

protocol::ErrorCode ReadJedec(const std::string& path, uint8_t* image, size_t imageSize,
                              DeviceImageInfo& info) {
    if (imageSize < kJedecMinImageSize)
        return ERR_FILE_DATA;
    return readTextFileLines(path, kMaxLineLength, kMaxFileSize,
                             [&](LineReader& lines) { return readFuses(lines, image, imageSize, info); });
}

}  // namespace files

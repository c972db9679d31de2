#include "programmer/files/word_list_reader.h"

#include <algorithm>
#include <cstdio>

#include "programmer/files/device_file_result.h"
#include "programmer/files/line_reader.h"
#include "programmer/files/text_numbers.h"

namespace files {

namespace {
constexpr size_t kMaxLineLength = 398;
// A line a word for a full 2 MiB image, with room for blank lines and comments.
constexpr uint64_t kMaxFileSize = 64 * 1024 * 1024;

protocol::ErrorCode readWords(LineReader& lines, uint8_t* image, size_t imageSize,
                              DeviceImageInfo& info) {
    size_t lowest = imageSize;
    size_t highest = 0;
    bool anyWord = false;
    std::string_view line;
    while (lines.next(line)) {
        size_t position = 0;
        uint64_t address;
        uint64_t value;
        bool addressOverflow;
        bool valueOverflow;
        if (!parseHexNumber(line, position, address, addressOverflow))
            return ERR_FILE_FORMAT;
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            return ERR_FILE_FORMAT;
        position = colon + 1;
        if (!parseHexNumber(line, position, value, valueOverflow))
            return ERR_FILE_FORMAT;
        // Both bytes of the word must lie inside the image.
        if (addressOverflow || address >= imageSize / 2)
            return ERR_FILE_DATA;
        const size_t offset = size_t(address) * 2;
        image[offset] = uint8_t(value);
        image[offset + 1] = uint8_t(value >> 8);
        lowest = std::min(lowest, offset);
        highest = std::max(highest, offset + 1);
        anyWord = true;
    }
    if (lines.readFailed())
        return ERR_FILE_READ;
    // A file without words would give an image of negative length.
    if (!anyWord)
        return ERR_FILE_DATA;
    info.lowestOffset = lowest;
    info.highestOffset = highest;
    return READ_OK;
}
}  // namespace

protocol::ErrorCode ReadWordListText(std::string_view text, uint8_t* image, size_t imageSize,
                                     DeviceImageInfo& info) {
    LineReader lines(text, kMaxLineLength);
    return readWords(lines, image, imageSize, info);
}

protocol::ErrorCode ReadWordList(const std::string& path, uint8_t* image, size_t imageSize,
                                 DeviceImageInfo& info) {
    return readTextFileLines(path, kMaxLineLength, kMaxFileSize,
                             [&](LineReader& lines) { return readWords(lines, image, imageSize, info); });
}

}  // namespace files

#include "programmer/files/intel_hex_reader.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "programmer/files/device_file_result.h"
#include "programmer/files/line_reader.h"
#include "programmer/files/text_numbers.h"

namespace files {

namespace {
// Long enough for the longest record (255 data bytes: 521 characters) and some trailing blanks.
constexpr size_t kMaxLineLength = 600;
// Four text characters a byte of a full 2 MiB image, with room for blank lines and comments.
constexpr uint64_t kMaxFileSize = 64 * 1024 * 1024;

bool isBlank(std::string_view line) { return std::all_of(line.begin(), line.end(), isBlankChar); }

enum RecordType : uint8_t {
    kData = 0x00,
    kEndOfFile = 0x01,
    kSegmentAddress = 0x02,
    kLinearAddress = 0x04,
    kStartLinearAddress = 0x05,
    kPlainLinearAddress = 0xFF,  // like 0x04, without the shift of the flash base
};
constexpr int64_t kFlashBase = 0x80000000;

protocol::ErrorCode readRecords(LineReader& lines, uint8_t* image, size_t imageSize,
                                DeviceImageInfo& info) {
    size_t lowest = imageSize;
    size_t highest = 0;
    bool anyData = false;
    int64_t base = 0;
    // Every value comes from the line at hand; a line that is not a whole record is refused
    // rather than filled up from an earlier one.
    std::array<uint8_t, 260> record;
    std::string_view line;
    while (lines.next(line)) {
        if (isBlank(line))
            continue;
        // The record mark is not examined.
        const char* digits = line.data() + 1;
        const size_t digitCount = line.size() - 1;
        if (digitCount < 10)
            return ERR_FILE_FORMAT;
        const int count = hexByteValue(digits);
        if (count < 0)
            return ERR_FILE_FORMAT;
        const size_t recordBytes = size_t(count) + 5;
        if (digitCount < 2 * recordBytes)
            return ERR_FILE_FORMAT;
        uint8_t sum = 0;
        for (size_t i = 0; i < recordBytes; ++i) {
            const int value = hexByteValue(digits + 2 * i);
            if (value < 0)
                return ERR_FILE_FORMAT;
            record[i] = uint8_t(value);
            sum = uint8_t(sum + value);
        }
        if (sum != 0)
            return ERR_FILE_CHECKSUM;

        const uint32_t address = uint32_t(record[1] << 8 | record[2]);
        const uint8_t* data = &record[4];
        const uint32_t value = count >= 2 ? uint32_t(data[0] << 8 | data[1]) : 0;
        switch (record[3]) {
            case kData: {
                const int64_t target = base + address;
                if (target < 0 || uint64_t(target) + uint64_t(count) > imageSize)
                    return ERR_FILE_DATA;
                if (count == 0)
                    break;
                lowest = std::min(lowest, size_t(target));
                highest = std::max(highest, size_t(target) + size_t(count) - 1);
                anyData = true;
                std::copy(data, data + count, image + target);
                break;
            }
            case kEndOfFile:
                if (count != 0 || address != 0)
                    return ERR_FILE_FORMAT;
                // A file without data would give an image of negative length.
                if (!anyData)
                    return ERR_FILE_DATA;
                info.lowestOffset = lowest;
                info.highestOffset = highest;
                return READ_OK;
            case kSegmentAddress:
                if (count < 2)
                    return ERR_FILE_FORMAT;
                base = int64_t(value) * 16;
                break;
            case kLinearAddress:
                if (count < 2)
                    return ERR_FILE_FORMAT;
                base = int64_t(value) * 65536 - kFlashBase;
                break;
            case kStartLinearAddress:
                break;
            case kPlainLinearAddress:
                if (count < 2)
                    return ERR_FILE_FORMAT;
                base = int64_t(value) * 65536;
                break;
            default:
                return ERR_FILE_FORMAT;
        }
    }
    // Ended (or failed) before the end-of-file record.
    return ERR_FILE_READ;
}
}  // namespace

protocol::ErrorCode ReadIntelHexText(std::string_view text, uint8_t* image, size_t imageSize,
                                     DeviceImageInfo& info) {
    LineReader lines(text, kMaxLineLength);
    return readRecords(lines, image, imageSize, info);
}

protocol::ErrorCode ReadIntelHex(const std::string& path, uint8_t* image, size_t imageSize,
                                 DeviceImageInfo& info) {
    return readTextFileLines(path, kMaxLineLength, kMaxFileSize,
                             [&](LineReader& lines) { return readRecords(lines, image, imageSize, info); });
}

}  // namespace files

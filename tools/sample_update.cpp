#include "tools/sample_update.h"

#include <algorithm>

#include "programmer/files/update_file_writer.h"

namespace tools {

namespace {

// A small fixed generator: the same sample always gives the same bytes.
class Pattern {
public:
    explicit Pattern(uint32_t seed) : state_(seed * 2654435761u + 0x9E3779B9u) {}
    uint8_t next() {
        state_ = state_ * 1664525u + 1013904223u;
        return uint8_t(state_ >> 24);
    }

private:
    uint32_t state_;
};

uint32_t seedFor(const SampleSettings& sample, int row) {
    return uint32_t(row + 1) * 0x10001u ^ uint32_t(sample.versionMajor << 8 | sample.versionMinor) ^
           (uint32_t(sample.variant) << 20);
}

void putVersion(std::vector<uint8_t>& data, size_t offset, const files::VersionBlock& version) {
    if (offset + files::kVersionBlockSize <= data.size())
        version.encode(&data[offset]);
}

void putU32(std::vector<uint8_t>& data, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        data[offset + size_t(i)] = uint8_t(value >> (8 * i));
}

std::vector<uint8_t> mainUpImage(const SampleSettings& sample) {
    const size_t length = kMainUpVersionOffset + files::kVersionBlockSize - kMainUpStartOffset;
    std::vector<uint8_t> data(length, 0xFF);
    Pattern pattern(seedFor(sample, 0));
    const size_t code = std::min(sample.mainUpCodeBytes, length - files::kVersionBlockSize);
    for (size_t i = 0; i < code; ++i)
        data[i] = pattern.next();
    putVersion(data, length - files::kVersionBlockSize, sampleVersion(sample));
    return data;
}

// A bit stream whose every third 64 KiB region, and the last eighth, are blank.
std::vector<uint8_t> fpgaImage(const SampleSettings& sample, int row, size_t length) {
    length = std::max<size_t>(length, 32);
    std::vector<uint8_t> data(length, 0xFF);
    Pattern pattern(seedFor(sample, row));
    const size_t tail = length - length / 8;
    for (size_t i = 32; i < tail; ++i) {
        if ((i / 0x10000) % 3 == 2)
            continue;
        data[i] = pattern.next();
    }
    putVersion(data, 0, sampleVersion(sample));
    putU32(data, 28, uint32_t(length - 32));
    return data;
}

std::vector<uint8_t> smallImage(const SampleSettings& sample, int row, size_t length,
                                size_t versionOffset) {
    std::vector<uint8_t> data(length);
    Pattern pattern(seedFor(sample, row));
    for (auto& byte : data)
        byte = pattern.next();
    putVersion(data, versionOffset, sampleVersion(sample));
    return data;
}

}  // namespace

files::VersionBlock sampleVersion(const SampleSettings& sample) {
    files::VersionBlock version;
    version.versionMajor = uint8_t(sample.versionMajor);
    version.versionMinor = uint8_t(sample.versionMinor);
    version.variant = sample.variant;
    version.hour = 12;
    version.minute = 0;
    version.day = 1;
    version.month = 1;
    version.year = 2024;
    return version;
}

SampleImage sampleImage(const SampleSettings& sample, int row) {
    SampleImage image;
    switch (row) {
        case 0:
            image.startOffset = kMainUpStartOffset;
            image.data = mainUpImage(sample);
            break;
        case 1:
            image.data = fpgaImage(sample, row, sample.mainFpgaBytes);
            break;
        case 2:
            image.data = smallImage(sample, row, kEepromSize, 0);
            break;
        case 3:
            image.data = smallImage(sample, row, kPllSize, kPllVersionOffset);
            break;
        case 4:
            image.data = fpgaImage(sample, row, sample.headFpgaBytes);
            break;
        default:
            break;
    }
    return image;
}

protocol::ErrorCode buildSampleUpdateFile(const SampleSettings& sample, std::vector<uint8_t>& fileBytes) {
    files::UpdateFileWriter writer;
    for (int row = 0; row < files::kDeviceCount; ++row) {
        if (!sample.devices[size_t(row)])
            continue;
        const SampleImage image = sampleImage(sample, row);
        if (protocol::ErrorCode result =
                writer.addRecord(row, image.startOffset, sampleVersion(sample), image.data.data(),
                                 uint32_t(image.data.size())))
            return result;
    }
    return writer.finish(fileBytes);
}

}  // namespace tools

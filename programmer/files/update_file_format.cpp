#include "programmer/files/update_file_format.h"

#include <cstring>

namespace files {

namespace {
uint16_t readU16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}
uint32_t readU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
void writeU16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void writeU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}
}  // namespace

void VersionBlock::decode(const uint8_t* bytes) {
    versionMinor = bytes[0];
    versionMajor = bytes[1];
    variant = readU16(bytes + 2);
    hour = bytes[4];
    minute = bytes[5];
    day = bytes[6];
    month = bytes[7];
    year = readU16(bytes + 8);
}

void VersionBlock::encode(uint8_t* bytes) const {
    bytes[0] = versionMinor;
    bytes[1] = versionMajor;
    writeU16(bytes + 2, variant);
    bytes[4] = hour;
    bytes[5] = minute;
    bytes[6] = day;
    bytes[7] = month;
    writeU16(bytes + 8, year);
}

void DeviceRecordHeader::decode(const uint8_t* bytes) {
    dataLength = readU32(bytes);
    startOffset = readU32(bytes + 4);
    deviceIndex = int32_t(readU32(bytes + 8));
    version.decode(bytes + 12);
}

void DeviceRecordHeader::encode(uint8_t* bytes) const {
    writeU32(bytes, dataLength);
    writeU32(bytes + 4, startOffset);
    writeU32(bytes + 8, uint32_t(deviceIndex));
    version.encode(bytes + 12);
    std::memset(bytes + 12 + kVersionBlockSize, 0xFF, kRecordHeaderSize - 12 - kVersionBlockSize);
}

}  // namespace files

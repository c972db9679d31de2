#include "programmer/files/update_file_format.h"

#include <cstring>

#include "protocol/little_endian.h"

namespace files {

using protocol::readU16;
using protocol::readU32;
using protocol::writeU16;
using protocol::writeU32;

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

#include "programmer/files/update_file_reader.h"

#include <cstdio>
#include <cstring>

#include "programmer/files/byte_sum.h"

namespace files {

std::string updateFileErrorMessage(UpdateFileError error) {
    switch (error) {
        case UpdateFileError::kNone:
            return {};
        case UpdateFileError::kNotUpdateFile: {
            char text[96];
            std::snprintf(text, sizeof text, kNotUpdateFileFormat, kUpdateFileTag);
            return text;
        }
        case UpdateFileError::kCorrupt:
            return kFileCorruptMessage;
        case UpdateFileError::kOutOfMemory:
            return kMemoryErrorMessage;
    }
    return {};
}

const char* updateFileFaultText(UpdateFileFault fault) {
    switch (fault) {
        case UpdateFileFault::kNone:
            return "none";
        case UpdateFileFault::kTag:
            return "the file tag is wrong";
        case UpdateFileFault::kTooShort:
            return "the file is too short for the tag and an end record";
        case UpdateFileFault::kNoEndRecord:
            return "the file ends before its end record";
        case UpdateFileFault::kRecordPastEnd:
            return "a record runs past the end of the file";
        case UpdateFileFault::kBadDeviceIndex:
            return "a record has an unknown device index";
        case UpdateFileFault::kChecksum:
            return "the checksum does not match";
    }
    return "unknown";
}

bool hasUpdateFileTag(const uint8_t* bytes, size_t size) {
    // The tag has no 0x00 of its own, so "text up to the first 0x00 equals the tag" means: its 31
    // characters, then 0x00. Bytes after that zero do not matter.
    const size_t tagLength = std::strlen(kUpdateFileTag);
    return size > tagLength && std::memcmp(bytes, kUpdateFileTag, tagLength) == 0 &&
           bytes[tagLength] == 0;
}

namespace {
UpdateFileReadResult refuse(UpdateFileReadResult result, UpdateFileError error,
                            UpdateFileFault fault, size_t offset) {
    result.error = error;
    result.fault = fault;
    result.faultOffset = offset;
    result.devices = {};
    return result;
}
}  // namespace

UpdateFileReadResult readUpdateFile(const uint8_t* bytes, size_t size,
                                    std::vector<WalkedRecord>* walked) {
    UpdateFileReadResult result;
    if (!hasUpdateFileTag(bytes, size))
        return refuse(result, UpdateFileError::kNotUpdateFile, UpdateFileFault::kTag, 0);
    result.tagValid = true;
    if (size < kTagSize + kRecordHeaderSize)
        return refuse(result, UpdateFileError::kCorrupt, UpdateFileFault::kTooShort, size);

    // Offsets are kept in 64 bits and compared with the bytes really held, so no length field can
    // make the walk leave them.
    uint64_t offset = kTagSize;
    uint32_t sum = 0;
    for (;;) {
        if (size - offset < kRecordHeaderSize)
            return refuse(result, UpdateFileError::kCorrupt, UpdateFileFault::kNoEndRecord, offset);
        DeviceRecordHeader header;
        header.decode(bytes + offset);
        if (header.deviceIndex == kEndRecordIndex)
            break;
        if (header.deviceIndex < 0 || header.deviceIndex >= kDeviceCount)
            return refuse(result, UpdateFileError::kCorrupt, UpdateFileFault::kBadDeviceIndex,
                          offset);
        const uint64_t recordSize =
            kRecordHeaderSize + uint64_t(header.dataLength) + paddingFor(header.dataLength);
        if (recordSize > size - offset)
            return refuse(result, UpdateFileError::kCorrupt, UpdateFileFault::kRecordPastEnd,
                          offset);
        if (walked != nullptr)
            walked->push_back({size_t(offset), header});

        // The padding is summed as it stands in the file, like every other record byte.
        sum += sumBytes(bytes + offset, size_t(recordSize));
        UpdateFileDevice& device = result.devices[size_t(header.deviceIndex)];
        device.present = true;
        device.header = header;
        device.recordOffset = size_t(offset);
        device.dataOffset = size_t(offset) + kRecordHeaderSize;
        offset += recordSize;
    }

    DeviceRecordHeader end;
    end.decode(bytes + offset);
    result.endRecordFound = true;
    result.endRecordOffset = size_t(offset);
    result.storedChecksum = end.dataLength;
    result.computedChecksum = sum;
    if (sum != end.dataLength)
        return refuse(result, UpdateFileError::kCorrupt, UpdateFileFault::kChecksum, offset);
    result.error = UpdateFileError::kNone;
    result.fault = UpdateFileFault::kNone;
    return result;
}

}  // namespace files

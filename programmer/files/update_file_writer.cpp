#include "programmer/files/update_file_writer.h"

#include <cstring>
#include <new>

#include "programmer/files/byte_sum.h"

namespace files {

UpdateFileWriter::UpdateFileWriter() {
    header_.fill(0xFF);
    // The tag text and its terminating 0x00.
    const auto* tag = reinterpret_cast<const uint8_t*>(kUpdateFileTag);
    bytes_.assign(tag, tag + std::strlen(kUpdateFileTag) + 1);
}

protocol::ErrorCode UpdateFileWriter::addRecord(int deviceIndex, uint32_t startOffset,
                                                const VersionBlock& version, const uint8_t* data,
                                                uint32_t length) {
    if (protocol::ErrorCode result = beginRecord(deviceIndex, startOffset, version))
        return result;
    if (protocol::ErrorCode result = appendData(data, length)) {
        cancelRecord();
        return result;
    }
    return endRecord();
}

protocol::ErrorCode UpdateFileWriter::beginRecord(int deviceIndex, uint32_t startOffset,
                                                  const VersionBlock& version) {
    if (state_ != State::kBetweenRecords)
        return ERR_FILE_DATA;
    if (deviceIndex <= lastDeviceIndex_ || deviceIndex >= kDeviceCount)
        return ERR_FILE_DATA;

    DeviceRecordHeader header;
    header.dataLength = 0;  // set when the record ends
    header.startOffset = startOffset;
    header.deviceIndex = deviceIndex;
    header.version = version;
    header.encode(header_.data());
    try {
        recordOffset_ = bytes_.size();
        bytes_.insert(bytes_.end(), header_.begin(), header_.end());
    } catch (const std::bad_alloc&) {
        bytes_.resize(recordOffset_);
        return ERR_FILE_WRITE;
    }
    recordDeviceIndex_ = deviceIndex;
    state_ = State::kInRecord;
    return READ_OK;
}

protocol::ErrorCode UpdateFileWriter::appendData(const uint8_t* data, size_t length) {
    if (state_ != State::kInRecord)
        return ERR_FILE_DATA;
    const size_t written = bytes_.size() - recordOffset_ - kRecordHeaderSize;
    if (length > UINT32_MAX - written)
        return ERR_FILE_DATA;
    if (length == 0)
        return READ_OK;
    try {
        bytes_.insert(bytes_.end(), data, data + length);
    } catch (const std::bad_alloc&) {
        return ERR_FILE_WRITE;
    }
    return READ_OK;
}

protocol::ErrorCode UpdateFileWriter::endRecord() {
    if (state_ != State::kInRecord)
        return ERR_FILE_DATA;
    const auto length = uint32_t(bytes_.size() - recordOffset_ - kRecordHeaderSize);
    try {
        bytes_.insert(bytes_.end(), paddingFor(length), 0xFF);
    } catch (const std::bad_alloc&) {
        return ERR_FILE_WRITE;
    }
    uint8_t* header = bytes_.data() + recordOffset_;
    for (int i = 0; i < 4; ++i)
        header[i] = uint8_t(length >> (8 * i));
    sum_ += sumBytes(header, bytes_.size() - recordOffset_);
    lastDeviceIndex_ = recordDeviceIndex_;
    state_ = State::kBetweenRecords;
    return READ_OK;
}

void UpdateFileWriter::cancelRecord() {
    if (state_ != State::kInRecord)
        return;
    bytes_.resize(recordOffset_);
    state_ = State::kBetweenRecords;
}

protocol::ErrorCode UpdateFileWriter::finish(std::vector<uint8_t>& fileBytes) {
    if (state_ != State::kBetweenRecords)
        return ERR_FILE_DATA;
    DeviceRecordHeader end;
    end.dataLength = sum_;
    end.startOffset = 0;
    end.deviceIndex = kEndRecordIndex;
    end.version = VersionBlock{};
    end.encode(header_.data());
    try {
        bytes_.insert(bytes_.end(), header_.begin(), header_.end());
    } catch (const std::bad_alloc&) {
        return ERR_FILE_WRITE;
    }
    fileBytes = std::move(bytes_);
    bytes_.clear();
    state_ = State::kFinished;
    return READ_OK;
}

}  // namespace files

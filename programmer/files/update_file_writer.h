#pragma once
// Writing an update file into memory: the tag, device records in ascending device index (header,
// data, 0xFF padding to a multiple of 16) with a running sum of every record byte, and the end
// record that holds the sum. The bytes go to disk with writeFileSafely (file_io.h).

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "programmer/files/device_file_result.h"
#include "programmer/files/update_file_format.h"

namespace files {

class UpdateFileWriter {
public:
    // Starts the file with its tag.
    UpdateFileWriter();

    // One whole record. Device indices must ascend; a repeated, lower or unknown index is refused.
    protocol::ErrorCode addRecord(int deviceIndex, uint32_t startOffset,
                                  const VersionBlock& version, const uint8_t* data,
                                  uint32_t length);

    // A record written piece by piece, as a backup reads it block by block. The header states
    // the bytes really appended when the record ends, so a device read that stops early still
    // leaves a file whose records can be walked; cancelRecord drops the record instead.
    protocol::ErrorCode beginRecord(int deviceIndex, uint32_t startOffset,
                                    const VersionBlock& version);
    protocol::ErrorCode appendData(const uint8_t* data, size_t length);
    protocol::ErrorCode endRecord();
    void cancelRecord();

    // Appends the end record and hands over the file's bytes; the writer is then empty and
    // refuses further records. Refused while a record is open.
    protocol::ErrorCode finish(std::vector<uint8_t>& fileBytes);

    // Running sum of the records written so far.
    uint32_t checksum() const { return sum_; }

private:
    enum class State { kBetweenRecords, kInRecord, kFinished };

    std::vector<uint8_t> bytes_;
    // One header buffer, filled with 0xFF once, so the reserved bytes stay 0xFF in every record.
    std::array<uint8_t, kRecordHeaderSize> header_;
    State state_ = State::kBetweenRecords;
    int lastDeviceIndex_ = -1;
    int recordDeviceIndex_ = -1;
    size_t recordOffset_ = 0;
    uint32_t sum_ = 0;
};

}  // namespace files

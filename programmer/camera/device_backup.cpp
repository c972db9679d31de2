#include "programmer/camera/device_backup.h"

#include <algorithm>
#include <cstdint>

#include "protocol/commands.h"
#include "protocol/telegram.h"

namespace camera {

namespace {
constexpr int kRowMainUp = 0;
constexpr int kRowMainFpga = 1;
constexpr int kRowEeprom = 2;
constexpr int kRowPll = 3;
constexpr int kRowHeadFpga = 4;

constexpr size_t kNoOwnVersion = SIZE_MAX;

// Where in the record's data the device keeps its own version block.
size_t ownVersionOffset(int row) {
    switch (row) {
        case kRowMainUp:
            return kMainUpVersionOffset - kMainUpBackupStartOffset;
        case kRowMainFpga:
            return 0;
        case kRowPll:
            return kPllVersionOffset;
        default:
            return kNoOwnVersion;
    }
}

// The device's own block when it keeps one that is not erased, else the camera's report of the
// device, so that a backup loads into a camera of its kind like any update file.
files::VersionBlock recordVersion(int row, const std::vector<uint8_t>& data,
                                  const files::VersionBlock* reported) {
    const size_t own = ownVersionOffset(row);
    const bool held = own != kNoOwnVersion && own + files::kVersionBlockSize <= data.size();
    files::VersionBlock version;
    if (held && (reported == nullptr || !IsBlank(&data[own], files::kVersionBlockSize)))
        version.decode(&data[own]);
    else if (reported != nullptr)
        version = *reported;
    return version;
}

// Drops the blank blocks at the end, keeping at least the first block.
void dropTrailingBlankBlocks(std::vector<uint8_t>& data) {
    size_t end = data.size();
    while (end > protocol::kBlockSize) {
        const size_t blockStart = (end - 1) / protocol::kBlockSize * protocol::kBlockSize;
        if (!IsBlank(&data[blockStart], uint32_t(end - blockStart)))
            break;
        end = blockStart;
    }
    data.resize(end);
}

// The whole flash without its blank end, for an image whose length is not known.
ErrorCode readFlashInUse(CCamUpdate& cam, int row, DeviceContents& contents, ProgressSink& progress,
                         WaitHost& host) {
    const ErrorCode result = ReadRegion(cam, row, 0, kFpgaFlashSize, contents.data, progress, host);
    dropTrailingBlankBlocks(contents.data);
    return result;
}

ErrorCode readMainFpga(CCamUpdate& cam, DeviceContents& contents, ProgressSink& progress,
                       WaitHost& host) {
    uint8_t head[kFpgaHeaderRead];
    ErrorCode result = ReadBlock(cam, protocol::cmd::READ_BLOCK, 0, kFpgaHeaderRead, head);
    if (result != 0)
        return result;
    const uint32_t rest = protocol::readU32(&head[28]);
    // A blank field reads 0xFFFFFFFF, which must not wrap into a short length.
    if (rest > kFpgaFlashSize - 32)
        return readFlashInUse(cam, kRowMainFpga, contents, progress, host);
    return ReadRegion(cam, kRowMainFpga, 0, rest + 32, contents.data, progress, host);
}
}  // namespace

uint16_t ReadCommandFor(int row) {
    return row == kRowEeprom || row == kRowPll ? protocol::cmd::READ_EEPROM_BLOCK
                                               : protocol::cmd::READ_BLOCK;
}

uint32_t BackupAddress(int row, uint32_t startOffset, uint32_t offset) {
    const uint32_t address = startOffset + offset;
    return row == kRowMainUp ? address + kMainUpAddressOffset : address;
}

ErrorCode ReadRegion(CCamUpdate& cam, int row, uint32_t firstAddress, uint32_t length,
                     std::vector<uint8_t>& data, ProgressSink& progress, WaitHost& host,
                     uint32_t total) {
    if (total == 0)
        total = length;
    data.clear();
    data.reserve(length);
    const uint16_t command = ReadCommandFor(row);
    uint8_t block[protocol::kBlockSize];
    for (uint32_t done = 0; done < length;) {
        progress.setProgress(row, int(uint64_t(done) * 100 / total));
        const uint32_t count = std::min<uint32_t>(length - done, uint32_t(protocol::kBlockSize));
        const ErrorCode result = ReadBlock(cam, command, firstAddress + done, count, block);
        if (result != 0)
            return result;
        data.insert(data.end(), block, block + count);
        done += count;
        host.pumpMessages();
    }
    return 0;
}

ErrorCode ReadDeviceContents(CCamUpdate& cam, int row, const files::VersionBlock* reported,
                             DeviceContents& contents, ProgressSink& progress, WaitHost& host) {
    contents = DeviceContents{};
    ErrorCode result = kErrBadDeviceRequest;
    switch (row) {
        case kRowMainUp:
            contents.startOffset = kMainUpBackupStartOffset;
            result = ReadRegion(cam, row, BackupAddress(row, kMainUpBackupStartOffset, 0),
                                kMainUpBackupEndOffset - kMainUpBackupStartOffset, contents.data,
                                progress, host);
            break;
        case kRowMainFpga:
            result = readMainFpga(cam, contents, progress, host);
            break;
        case kRowEeprom:
        case kRowPll:
            result = ReadRegion(cam, row, 0, kEepromBackupLength, contents.data, progress, host);
            break;
        case kRowHeadFpga:
            result = readFlashInUse(cam, row, contents, progress, host);
            break;
        default:
            break;
    }
    contents.version = recordVersion(row, contents.data, reported);
    if (result == 0)
        progress.setProgress(row, 100);
    return result;
}

}  // namespace camera

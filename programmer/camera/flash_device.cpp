#include "programmer/camera/flash_device.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "protocol/commands.h"
#include "protocol/telegram.h"

namespace camera {

namespace cmd = protocol::cmd;
namespace cap = protocol::cap;
namespace timeout = protocol::timeout;

namespace {
constexpr int kRowMainUp = 0;
constexpr int kRowMainFpga = 1;
constexpr int kRowEeprom = 2;
constexpr int kRowPll = 3;
constexpr int kRowHeadFpga = 4;

bool validRow(int row) { return row >= 0 && row < files::kDeviceCount; }
bool validCount(uint32_t count) { return count >= 1 && count <= protocol::kBlockSize; }

ErrorCode send(CCamUpdate& cam, const protocol::Request& request, uint32_t capacity,
               uint32_t timeoutMs) {
    uint8_t reply[protocol::kTelegramMax] = {};
    return cam.Command(request.data(), request.size, reply, capacity, timeoutMs);
}

// The span of row `row` inside the loaded file, checked against the bytes really held.
bool imageSpan(const files::LoadedUpdateFile& file, int row, size_t& first, size_t& length) {
    const int offset = file.dataOffset[size_t(row)];
    length = file.record[size_t(row)].dataLength;
    if (offset < 0 || length == 0) return false;
    first = size_t(offset);
    return first <= file.image.size() && length <= file.image.size() - first;
}

bool readBackWhileProgramming(int row, bool emergencyMode) {
    return !emergencyMode && (row == kRowMainUp || row == kRowMainFpga || row == kRowHeadFpga);
}

// Writes one block and, where asked, reads it back into the scratch image and compares.
ErrorCode writeAndVerify(CCamUpdate& cam, files::LoadedUpdateFile& file, int row, size_t position,
                         uint32_t count, bool verify) {
    const uint32_t address = DeviceAddress(file, row, uint32_t(position));
    const uint8_t* data = file.image.data() + position;
    ErrorCode result = WriteBlock(cam, cmd::WRITE_BLOCK, address, count, data);
    if (result != 0 || !verify) return result;
    uint8_t* readBack = file.readBackImage.data() + position;
    result = ReadBlock(cam, cmd::READ_BLOCK, address, count, readBack);
    if (result != 0) return result;
    return std::memcmp(readBack, data, count) == 0 ? 0 : kErrReadBackMismatch;
}

// Image positions of the blocks in the order they are written. The FPGAs, the EEPROM and the
// PLL carry their version block in the first block of the image, so that block goes last: a
// device whose writing stopped part-way then never reports the new version, and the next load
// offers it for programming again.
std::vector<size_t> versionBlockLastOrder(size_t first, size_t length) {
    std::vector<size_t> positions;
    for (size_t p = first + protocol::kBlockSize; p < first + length; p += protocol::kBlockSize)
        positions.push_back(p);
    positions.push_back(first);
    return positions;
}

int percentAt(size_t done, size_t length) { return int(uint64_t(done) * 100 / length); }

ErrorCode programMainUp(CCamUpdate& cam, files::LoadedUpdateFile& file, size_t first,
                        size_t length, bool emergencyMode, ProgressSink& progress,
                        WaitHost& host, bool& checksumStepFailed) {
    uint32_t sum = 0;
    for (size_t p = first; p < first + length; ++p) sum += file.image[p];

    const bool verify = readBackWhileProgramming(kRowMainUp, emergencyMode);
    ErrorCode loopResult = 0;
    for (size_t p = first; p < first + length; p += protocol::kBlockSize) {
        progress.setProgress(kRowMainUp, percentAt(p - first, length));
        const uint32_t count = uint32_t(std::min(first + length - p, protocol::kBlockSize));
        loopResult = writeAndVerify(cam, file, kRowMainUp, p, count, verify);
        if (loopResult != 0) break;
        host.pumpMessages();
    }

    // The camera checks the written flash against the sum; this runs after a failed loop too.
    const uint32_t firstAddress = DeviceAddress(file, kRowMainUp, uint32_t(first));
    const uint32_t lastAddress = DeviceAddress(file, kRowMainUp, uint32_t(first + length - 1));
    ErrorCode result = SetChecksum(cam, firstAddress, lastAddress, sum);
    if (result == 0) {
        uint32_t cameraFirst = 0, cameraLast = 0, cameraSum = 0;
        result = GetChecksum(cam, cameraFirst, cameraLast, cameraSum);
    }
    if (result != 0) {
        checksumStepFailed = true;
        return result;
    }
    // A block that was not written or read back wrong leaves the flash unlike the image, whatever
    // the camera's own check said.
    return loopResult;
}

ErrorCode programFpga(CCamUpdate& cam, files::LoadedUpdateFile& file, int row, size_t first,
                      size_t length, bool emergencyMode, ProgressSink& progress,
                      WaitHost& host) {
    const bool verify = readBackWhileProgramming(row, emergencyMode);
    size_t done = 0;
    for (size_t p : versionBlockLastOrder(first, length)) {
        progress.setProgress(row, percentAt(done, length));
        const uint32_t count = uint32_t(std::min(first + length - p, protocol::kBlockSize));
        done += count;
        // The device was erased: blank blocks already hold what the image wants.
        if (IsBlank(file.image.data() + p, count)) continue;
        const ErrorCode result = writeAndVerify(cam, file, row, p, count, verify);
        if (result != 0) return result;
        host.pumpMessages();
    }
    return 0;
}

ErrorCode programSmallDevice(CCamUpdate& cam, const files::LoadedUpdateFile& file, int row,
                             size_t first, size_t length, ProgressSink& progress) {
    const uint16_t command = row == kRowEeprom ? cmd::WRITE_EEPROM_BLOCK : cmd::WRITE_BLOCK;
    size_t done = 0;
    for (size_t p : versionBlockLastOrder(first, length)) {
        progress.setProgress(row, percentAt(done, length));
        const uint32_t count = uint32_t(std::min(first + length - p, protocol::kBlockSize));
        done += count;
        const ErrorCode result = WriteBlock(cam, command, DeviceAddress(file, row, uint32_t(p)),
                                            count, file.image.data() + p);
        if (result != 0) return result;
    }
    progress.setProgress(row, 100);
    return 0;
}
}  // namespace

ErrorCode OpenDevice(CCamUpdate& cam, int row, int attempts) {
    if (!validRow(row)) return kErrBadDeviceRequest;
    const protocol::Request request =
        protocol::twoWordRequest(protocol::kOpenCodeByRow[size_t(row)], 0, 0);
    ErrorCode result = 0;
    int sends = 0;
    do {
        result = send(cam, request, cap::DEVICE, timeout::OPEN_DEVICE);
    } while (result != 0 && ++sends < attempts);
    return result;
}

ErrorCode EraseDevice(CCamUpdate& cam) {
    return send(cam, protocol::twoWordRequest(cmd::ERASE_DEVICE, 0, 0), cap::DEVICE,
                timeout::ERASE_DEVICE);
}

ErrorCode WriteBlock(CCamUpdate& cam, uint16_t command, uint32_t firstAddress, uint32_t count,
                     const uint8_t* data) {
    if (!validCount(count) || data == nullptr) return kErrBadDeviceRequest;
    return send(cam, protocol::writeBlockRequest(command, firstAddress, data, count),
                cap::WRITE_BLOCK, timeout::WRITE_BLOCK);
}

ErrorCode ReadBlock(CCamUpdate& cam, uint16_t command, uint32_t firstAddress, uint32_t count,
                    uint8_t* buffer) {
    if (!validCount(count) || buffer == nullptr) return kErrBadDeviceRequest;
    const protocol::Request request = protocol::readBlockRequest(command, firstAddress, count);
    uint8_t reply[cap::READ_BLOCK] = {};
    const ErrorCode result =
        cam.Command(request.data(), request.size, reply, sizeof reply, timeout::READ_BLOCK);
    if (result == 0)
        std::memcpy(buffer, &reply[protocol::field::BLOCK_DATA], count);
    return result;
}

bool IsBlank(const uint8_t* data, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i)
        if (data[i] != 0xFF) return false;
    return true;
}

ErrorCode SetChecksum(CCamUpdate& cam, uint32_t first, uint32_t last, uint32_t sum) {
    return send(cam, protocol::setChecksumRequest(first, last, sum), cap::CHECKSUM,
                timeout::CHECKSUM);
}

ErrorCode GetChecksum(CCamUpdate& cam, uint32_t& first, uint32_t& last, uint32_t& sum) {
    const protocol::Request request = protocol::simpleRequest(cmd::GET_CHECKSUM);
    uint8_t reply[cap::CHECKSUM] = {};
    const ErrorCode result =
        cam.Command(request.data(), request.size, reply, sizeof reply, timeout::CHECKSUM);
    if (result == 0) {
        first = protocol::readU32(&reply[protocol::field::CHECKSUM_FIRST]);
        last = protocol::readU32(&reply[protocol::field::CHECKSUM_LAST]);
        sum = protocol::readU32(&reply[protocol::field::CHECKSUM_SUM]);
    }
    return result;
}

ErrorCode CloseDevice(CCamUpdate& cam) {
    return send(cam, protocol::twoWordRequest(cmd::CLOSE_DEVICE, 0, 0), cap::DEVICE,
                timeout::CLOSE_DEVICE);
}

ErrorCode CheckDaven(CCamUpdate& cam) {
    const protocol::Request request = protocol::twoWordRequest(cmd::OPEN_DAVEN, 0, 0);
    uint8_t reply[cap::OPEN_DAVEN] = {};
    const ErrorCode sent =
        cam.Command(request.data(), request.size, reply, sizeof reply, timeout::OPEN_DAVEN);
    const uint32_t status = protocol::readU32(&reply[protocol::field::DAVEN_STATUS]);
    ErrorCode result = 0;
    if (sent != 0 || status != 0) {
        std::snprintf(cam.statusText, sizeof cam.statusText, "error OPEN_DAVEN: 0x%x 0x%x\n",
                      sent, status);
        // An error reply carries its code where the status would be; no reply leaves it 0.
        result = status != 0 ? status : sent;
    }
    send(cam, protocol::twoWordRequest(cmd::CLOSE_DEVICE, 0, 0), cap::CLOSE_DEVICE_SHORT,
         timeout::CLOSE_DEVICE);
    return result;
}

ErrorCode StartGigeMain(CCamUpdate& cam) {
    send(cam, protocol::startFirmwareRequest(2), cap::DEVICE, timeout::START_FIRMWARE);
    return 0;
}

uint32_t DeviceAddress(const files::LoadedUpdateFile& file, int row, uint32_t position) {
    uint32_t address = position - uint32_t(file.dataOffset[size_t(row)]) +
                       file.record[size_t(row)].startOffset;
    if (row == kRowMainUp) address += kMainUpAddressOffset;
    return address;
}

ErrorCode ProgramDevice(CCamUpdate& cam, int row, files::LoadedUpdateFile& file,
                        bool emergencyMode, ProgressSink& progress, WaitHost& host,
                        bool* checksumStepFailed) {
    bool checksumFailed = false;
    if (checksumStepFailed != nullptr) *checksumStepFailed = false;
    size_t first = 0, length = 0;
    if (!validRow(row) || !imageSpan(file, row, first, length)) return kErrBadDeviceRequest;
    // The read-back lands in the scratch image at the same positions.
    if (readBackWhileProgramming(row, emergencyMode) &&
        file.readBackImage.size() < file.image.size())
        file.readBackImage.resize(file.image.size(), 0xFF);

    ErrorCode result = 0;
    switch (row) {
    case kRowMainUp:
        result = programMainUp(cam, file, first, length, emergencyMode, progress, host,
                               checksumFailed);
        break;
    case kRowMainFpga:
    case kRowHeadFpga:
        result = programFpga(cam, file, row, first, length, emergencyMode, progress, host);
        break;
    case kRowEeprom:
    case kRowPll:
        result = programSmallDevice(cam, file, row, first, length, progress);
        break;
    }
    if (checksumStepFailed != nullptr) *checksumStepFailed = checksumFailed;
    return result;
}

}  // namespace camera

#include "programmer/camera/flash_device.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "protocol/commands.h"
#include "protocol/reply_fields.h"
#include "protocol/telegram.h"

namespace camera {

namespace cmd = protocol::cmd;
namespace cap = protocol::cap;
namespace timeout = protocol::timeout;

namespace {
using files::kRowEeprom;
using files::kRowHeadFpga;
using files::kRowMainFpga;
using files::kRowMainUp;

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

bool skipsBlankBlocks(int row) { return row == kRowMainFpga || row == kRowHeadFpga; }

// Writes one block and, where asked, reads it back into the scratch image and compares.
ErrorCode writeAndVerify(CCamUpdate& cam, files::LoadedUpdateFile& file, int row,
                         const PlannedBlock& block, bool verify) {
    const uint32_t address = DeviceAddress(file, row, uint32_t(block.position));
    const uint8_t* data = file.image.data() + block.position;
    const uint16_t command = row == kRowEeprom ? cmd::WRITE_EEPROM_BLOCK : cmd::WRITE_BLOCK;
    ErrorCode result = WriteBlock(cam, command, address, block.count, data);
    if (result != 0 || !verify) return result;
    uint8_t* readBack = file.readBackImage.data() + block.position;
    result = ReadBlock(cam, cmd::READ_BLOCK, address, block.count, readBack);
    if (result != 0) return result;
    return std::memcmp(readBack, data, block.count) == 0 ? 0 : kErrReadBackMismatch;
}

int percentAt(size_t done, size_t length) { return int(uint64_t(done) * 100 / length); }

// The camera checks the written flash against the sum of the image.
ErrorCode checkMainUpSum(CCamUpdate& cam, const files::LoadedUpdateFile& file,
                         const DeviceWritePlan& plan) {
    uint32_t sum = 0;
    for (size_t p = plan.first; p < plan.first + plan.length; ++p) sum += file.image[p];
    ErrorCode result = SetChecksum(cam, plan.firstAddress, plan.lastAddress, sum);
    if (result == 0) {
        uint32_t cameraFirst = 0, cameraLast = 0, cameraSum = 0;
        result = GetChecksum(cam, cameraFirst, cameraLast, cameraSum);
        // The camera must have checked the range and sum it was given, not an older one.
        const bool same = cameraFirst == plan.firstAddress && cameraLast == plan.lastAddress &&
                          cameraSum == sum;
        if (result == 0 && !same) result = protocol::kErrReplyEcho;
    }
    return result;
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
    ErrorCode result =
        cam.Command(request.data(), request.size, reply, sizeof reply, timeout::READ_BLOCK);
    // Data of other addresses than asked for is no read-back of this block.
    if (result == 0) result = protocol::checkBlockReply(reply, sizeof reply, firstAddress, count);
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
    ErrorCode result =
        cam.Command(request.data(), request.size, reply, sizeof reply, timeout::CHECKSUM);
    if (result == 0)
        result = protocol::requireReply(reply, sizeof reply, protocol::field::CHECKSUM_SUM + 4);
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
    const ErrorCode answered =
        cam.Command(request.data(), request.size, reply, sizeof reply, timeout::OPEN_DAVEN);
    // The status of a reply too short to carry it is unknown: the short reply is the failure.
    const ErrorCode sent =
        answered != 0 ? answered
                      : protocol::requireReply(reply, sizeof reply, protocol::field::DAVEN_STATUS + 4);
    const uint32_t status =
        sent == answered ? protocol::readU32(&reply[protocol::field::DAVEN_STATUS]) : 0;
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

uint32_t DeviceAddress(const files::LoadedUpdateFile& file, int row, uint32_t position) {
    uint32_t address = position - uint32_t(file.dataOffset[size_t(row)]) +
                       file.record[size_t(row)].startOffset;
    if (row == kRowMainUp) address += kMainUpAddressOffset;
    return address;
}

bool ErasedBeforeWriting(int row) { return row != kRowEeprom; }

bool ReadBackWhileProgramming(int row, bool emergencyMode) {
    return !emergencyMode && (row == kRowMainUp || row == kRowMainFpga || row == kRowHeadFpga);
}

bool VerifiedWhileProgramming(int row, bool emergencyMode) {
    return row == kRowMainUp || ReadBackWhileProgramming(row, emergencyMode);
}

bool PlanDeviceWrite(const files::LoadedUpdateFile& file, int row, DeviceWritePlan& plan) {
    plan = DeviceWritePlan{};
    size_t first = 0, length = 0;
    if (!validRow(row) || !imageSpan(file, row, first, length)) return false;
    plan.first = first;
    plan.length = length;
    plan.firstAddress = DeviceAddress(file, row, uint32_t(first));
    plan.lastAddress = DeviceAddress(file, row, uint32_t(first + length - 1));
    // Rising addresses, as the camera expects them: no device gets a block before the one below.
    for (size_t p = first; p < first + length; p += protocol::kBlockSize) {
        PlannedBlock block;
        block.position = p;
        block.count = uint32_t(std::min(first + length - p, protocol::kBlockSize));
        block.skipped = skipsBlankBlocks(row) && IsBlank(file.image.data() + p, block.count);
        plan.blocks.push_back(block);
    }
    return true;
}

ErrorCode ProgramDevice(CCamUpdate& cam, int row, files::LoadedUpdateFile& file,
                        bool emergencyMode, ProgressSink& progress, WaitHost& host) {
    DeviceWritePlan plan;
    if (!PlanDeviceWrite(file, row, plan)) return kErrBadDeviceRequest;
    const bool verify = ReadBackWhileProgramming(row, emergencyMode);
    // The read-back lands in the scratch image at the same positions.
    if (verify && file.readBackImage.size() < file.image.size())
        file.readBackImage.resize(file.image.size(), 0xFF);
    // The EEPROM and the PLL are small: their loop does not stop for window messages.
    const bool pumps = row == kRowMainUp || skipsBlankBlocks(row);

    ErrorCode result = 0;
    for (const PlannedBlock& block : plan.blocks) {
        progress.setProgress(row, percentAt(block.position - plan.first, plan.length));
        if (block.skipped) continue;
        result = writeAndVerify(cam, file, row, block, verify);
        if (result != 0) break;
        if (pumps) host.pumpMessages();
    }

    if (row == kRowMainUp) {
        // This runs after a failed loop too. A block that was not written or read back wrong
        // leaves the flash unlike the image, whatever the camera's own check said.
        const ErrorCode checked = checkMainUpSum(cam, file, plan);
        return checked != 0 ? checked : result;
    }
    if (result == 0 && !pumps) progress.setProgress(row, 100);
    return result;
}

}  // namespace camera

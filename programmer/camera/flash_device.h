#pragma once
// The camera's five programmable devices and the commands that reach them: open one device, erase
// it, move its image in blocks of up to 256 bytes, let the camera check the sum, close it again.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "programmer/camera/cam_update.h"
#include "programmer/camera/wait_host.h"
#include "programmer/files/loaded_update_file.h"
#include "protocol/error_codes.h"

namespace camera {

// Results of this module beside the camera's and the transport's codes.
using protocol::kErrBadDeviceRequest;
using protocol::kErrReadBackMismatch;

// Offset of the main microcontroller's flash in the camera's address space (row 0).
constexpr uint32_t kMainUpAddressOffset = 0x80000000;
constexpr int kOpenAttemptsUpdate = 3;
constexpr int kOpenAttemptsBackup = 2;

class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void setProgress(int row, int percent) = 0;
};

// Sends OPEN_DEVICE with the row's open code until it succeeds or `attempts` sends were made.
ErrorCode OpenDevice(CCamUpdate& cam, int row, int attempts);
ErrorCode EraseDevice(CCamUpdate& cam);
// `count` (1-256) bytes of `data` to `firstAddress`; the block is filled up with 0xFF.
ErrorCode WriteBlock(CCamUpdate& cam, uint16_t command, uint32_t firstAddress, uint32_t count,
                     const uint8_t* data);
// On success copies `count` (1-256) bytes into `buffer`; on failure the buffer is untouched.
ErrorCode ReadBlock(CCamUpdate& cam, uint16_t command, uint32_t firstAddress, uint32_t count,
                    uint8_t* buffer);
bool IsBlank(const uint8_t* data, uint32_t count);
ErrorCode SetChecksum(CCamUpdate& cam, uint32_t first, uint32_t last, uint32_t sum);
ErrorCode GetChecksum(CCamUpdate& cam, uint32_t& first, uint32_t& last, uint32_t& sum);
ErrorCode CloseDevice(CCamUpdate& cam);
// OPEN_DAVEN and its status; a failure leaves "error OPEN_DAVEN: ..." in cam.statusText.
ErrorCode CheckDaven(CCamUpdate& cam);

// Device address of the image byte at `position` of row `row`.
uint32_t DeviceAddress(const files::LoadedUpdateFile& file, int row, uint32_t position);

// How each device is written; the programming run follows these rules and the dry run shows them.
bool ErasedBeforeWriting(int row);  // every device but the EEPROM
// Main uP and FPGAs, unless in emergency mode.
bool ReadBackWhileProgramming(int row, bool emergencyMode);
// What was written is known to be in the device: read back block by block, or (Main uP) the
// camera's own sum check passed.
bool VerifiedWhileProgramming(int row, bool emergencyMode);

struct PlannedBlock {
    size_t position = 0;  // in the loaded file's image
    uint32_t count = 0;   // 1-256
    bool skipped = false; // an FPGA block that is all 0xFF: the erased flash holds it already
};
// The blocks of one device in the order they are written: rising addresses from `dataOffset`.
struct DeviceWritePlan {
    size_t first = 0;  // image position of the first byte
    size_t length = 0;
    uint32_t firstAddress = 0;
    uint32_t lastAddress = 0;
    std::vector<PlannedBlock> blocks;
};
// False (and nothing planned) when the row is outside 0-4 or its image is empty or lies outside
// the bytes the file holds.
bool PlanDeviceWrite(const files::LoadedUpdateFile& file, int row, DeviceWritePlan& plan);

// Writes row `row`'s image into the opened (and, where needed, erased) device. Returns 0 when
// the device is programmed. For row 0 the camera's checksum step comes last and decides together
// with the block loop.
ErrorCode ProgramDevice(CCamUpdate& cam, int row, files::LoadedUpdateFile& file,
                        bool emergencyMode, ProgressSink& progress, WaitHost& host);

}  // namespace camera

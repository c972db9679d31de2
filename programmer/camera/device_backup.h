#pragma once
// Reading a device's contents back as the backup stores them, so that the programming run can
// write them again and the load compares the backup's versions with a camera's like those of any
// update file. Where each device keeps its image and its version block:
//   Main uP    flash offsets 0x8000 up to the end of the application region 0xF8000 (device
//              addresses 0x80008000-0x800F7FFF); the record's start offset is 0x8000, the same
//              offset from 0x80000000 that the programming run adds its positions to. The
//              firmware keeps its version block at flash offset 0xF7FE0.
//   Main FPGA  bytes 28-31 of the first 64 bytes hold the image length - 32; version in 0-9
//              (the packet builder puts both there). When they state no length the flash can
//              hold (a blank or damaged field), the flash is read like the Head FPGA's, so that
//              the backup keeps what is there.
//   EEPROM     all 448 bytes of plain data: no version block among them.
//   PLL        all 448 bytes, read with the EEPROM read; version block at 0x10.
//   Head FPGA  its flash carries no length, so the whole 4 MiB flash is read and the blank
//              (all 0xFF) blocks at its end are dropped: the programming run erases the device
//              and skips blank blocks, so the flash ends up the same. Its image is a bare bit
//              stream (the packet builder adds no version block to it).
// A record whose device keeps no version block (EEPROM, Head FPGA), or whose block is erased,
// carries what the camera reported for the device in its firmware records, time stamp 0.

#include <cstdint>
#include <vector>

#include "programmer/camera/cam_update.h"
#include "programmer/camera/flash_device.h"
#include "programmer/camera/wait_host.h"
#include "programmer/files/update_file_format.h"

namespace camera {

constexpr uint32_t kMainUpBackupStartOffset = 0x8000;
constexpr uint32_t kMainUpBackupEndOffset = 0xF8000;
constexpr uint32_t kMainUpVersionOffset = 0xF7FE0;
constexpr uint32_t kFpgaFlashSize = 0x400000;
constexpr uint32_t kEepromBackupLength = 448;
constexpr uint32_t kPllVersionOffset = 0x10;
constexpr uint32_t kFpgaHeaderRead = 64;

// What a backup stores of one device: the record's start offset, version block and data.
struct DeviceContents {
    uint32_t startOffset = 0;
    files::VersionBlock version;
    std::vector<uint8_t> data;
};

// The read command of a row: the EEPROM read for the EEPROM and the PLL, else the flash read.
uint16_t ReadCommandFor(int row);

// Reads `length` bytes from `firstAddress` of the opened device in blocks of up to 256 bytes,
// ascending. Before each block the row's progress is set to (address - first) * 100 / `total`
// (`total` 0: `length`), after each the host pumps messages. The first failing read ends it;
// `data` then holds the blocks read so far.
ErrorCode ReadRegion(CCamUpdate& cam, int row, uint32_t firstAddress, uint32_t length,
                     std::vector<uint8_t>& data, ProgressSink& progress, WaitHost& host,
                     uint32_t total = 0);

// Reads the opened device `row` as the backup stores it. `reported` is the device's firmware
// record as the camera reported it (null: not reported). On failure `contents` is incomplete
// and must not be stored.
ErrorCode ReadDeviceContents(CCamUpdate& cam, int row, const files::VersionBlock* reported,
                             DeviceContents& contents, ProgressSink& progress, WaitHost& host);

// The device address of byte `offset` of a record that starts at `startOffset`.
uint32_t BackupAddress(int row, uint32_t startOffset, uint32_t offset);

}  // namespace camera

#pragma once
// The firmware and hardware records the camera reports.

#include <cstdint>
#include <string>
#include <vector>

#include "sim/flash_device.h"
#include "sim/options.h"
#include "sim/reply_builder.h"

namespace sim {

struct FirmwareRecord {
    std::string name;
    uint8_t minor = 0;
    uint8_t major = 0;
    uint16_t variant = 0;
};

// In order: the devices whose version block is not erased, the bootloader, the extra records.
// In boot mode only the bootloader runs, so only its record is reported.
std::vector<FirmwareRecord> firmwareRecords(const DeviceStore& store, const SimOptions& options,
                                            uint16_t cameraType, bool bootMode);

// Reply payload of page `page`: u16 total count, then the records 10*page .. 10*page+9.
Bytes firmwarePagePayload(const std::vector<FirmwareRecord>& records, size_t page);

// Reply payload of GET_HARDWARE_VERSIONS: u16 count, then 22-byte records.
Bytes hardwarePayload(const std::vector<HardwareRecord>& records);

}  // namespace sim

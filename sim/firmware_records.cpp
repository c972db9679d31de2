#include "sim/firmware_records.h"

#include <algorithm>

#include "protocol/commands.h"

namespace sim {

namespace {

// A zero-terminated name in a fixed field (the field is zero-filled beforehand).
void appendName(Bytes& out, const std::string& name, size_t fieldSize) {
    const size_t start = out.size();
    out.resize(start + fieldSize, 0);
    std::copy_n(name.begin(), std::min(name.size(), fieldSize - 1), out.begin() + long(start));
}

}  // namespace

std::vector<FirmwareRecord> firmwareRecords(const DeviceStore& store, const SimOptions& options,
                                            uint16_t cameraType, bool bootMode) {
    std::vector<FirmwareRecord> records;
    if (!bootMode) {
        for (int row = 0; row < kDeviceCount; ++row) {
            if (auto v = store.device(row).versionBlock())
                records.push_back({kDevices[size_t(row)].recordName, v->minor, v->major,
                                   v->variant});
        }
    }
    if (options.bootloader)
        records.push_back({protocol::bootloaderRecordName(cameraType), options.bootloaderMinor,
                           options.bootloaderMajor, options.bootloaderVariant});
    if (!bootMode) {
        for (int i = 1; i <= options.extraRecords; ++i)
            records.push_back({"Aux " + std::to_string(i), 0, 1, 0});
    }
    return records;
}

Bytes firmwarePagePayload(const std::vector<FirmwareRecord>& records, size_t page) {
    using namespace protocol::field;
    Bytes payload;
    appendU16(payload, uint16_t(records.size()));
    const size_t first = page * RECORDS_PER_REPLY;
    for (size_t i = first; i < records.size() && i < first + RECORDS_PER_REPLY; ++i) {
        appendName(payload, records[i].name, FIRMWARE_NAME_SIZE);
        payload.push_back(records[i].minor);
        payload.push_back(records[i].major);
        appendU16(payload, records[i].variant);
    }
    return payload;
}

Bytes hardwarePayload(const std::vector<HardwareRecord>& records) {
    using namespace protocol::field;
    Bytes payload;
    appendU16(payload, uint16_t(records.size()));
    for (const HardwareRecord& r : records) {
        appendName(payload, r.name, HARDWARE_NAME_SIZE);
        appendU16(payload, r.codeA);
        appendU16(payload, r.codeB);
    }
    return payload;
}

}  // namespace sim

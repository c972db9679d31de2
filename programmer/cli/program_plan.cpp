#include "programmer/cli/program_plan.h"

#include <algorithm>
#include <cstdio>

#include "programmer/camera/flash_device.h"
#include "programmer/cli/devices.h"
#include "protocol/commands.h"

namespace cli {

namespace {

constexpr int kRowMainUp = 0;
constexpr int kRowMainFpga = 1;
constexpr int kRowEeprom = 2;
constexpr int kRowHeadFpga = 4;

std::string hex32(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

}  // namespace

DevicePlan planDevice(const app::ProgDlg& dialog, int row) {
    const files::LoadedUpdateFile& file = dialog.loaded;
    const size_t i = size_t(row);
    DevicePlan plan;
    plan.row = row;
    plan.bytes = file.record[i].dataLength;
    plan.erase = row != kRowEeprom;
    const bool fpga = row == kRowMainFpga || row == kRowHeadFpga;
    plan.readBack = !dialog.options.emergencyMode && (row == kRowMainUp || fpga);
    plan.from = dialog.model.caption(app::currentFwId(row));
    plan.to = dialog.model.caption(app::loadedFwId(row));

    // The bounds come from the bytes really held, as the programming run checks them.
    const int offset = file.dataOffset[i];
    if (offset < 0 || plan.bytes == 0 || size_t(offset) > file.image.size() ||
        plan.bytes > file.image.size() - size_t(offset))
        return plan;
    plan.firstAddress = camera::DeviceAddress(file, row, uint32_t(offset));
    plan.lastAddress = camera::DeviceAddress(file, row, uint32_t(offset) + plan.bytes - 1);
    for (uint32_t done = 0; done < plan.bytes; done += uint32_t(protocol::kBlockSize)) {
        const uint32_t count = std::min(plan.bytes - done, uint32_t(protocol::kBlockSize));
        ++plan.blocks;
        if (!fpga || !camera::IsBlank(file.image.data() + size_t(offset) + done, count))
            ++plan.blocksWritten;
    }
    return plan;
}

nlohmann::json planJson(const DevicePlan& plan) {
    return {{"event", "plan"},
            {"device", deviceCaption(plan.row)},
            {"row", plan.row},
            {"bytes", plan.bytes},
            {"blocks", plan.blocks},
            {"blocksWritten", plan.blocksWritten},
            {"erase", plan.erase},
            {"readBack", plan.readBack},
            {"firstAddress", hex32(plan.firstAddress)},
            {"lastAddress", hex32(plan.lastAddress)},
            {"from", plan.from},
            {"to", plan.to}};
}

std::string planText(const DevicePlan& plan) {
    std::string text = deviceCaption(plan.row) + ": " + plan.from + " -> " + plan.to + ", " +
                       std::to_string(plan.bytes) + " bytes at " + hex32(plan.firstAddress) + "-" +
                       hex32(plan.lastAddress) + ", " + std::to_string(plan.blocksWritten) +
                       " of " + std::to_string(plan.blocks) + " blocks written";
    text += plan.erase ? ", erased first" : ", not erased";
    if (plan.readBack)
        text += ", read back";
    return text;
}

}  // namespace cli

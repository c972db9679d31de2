#include "programmer/cli/program_plan.h"

#include <cstdio>

#include "programmer/camera/com_update.h"
#include "programmer/camera/flash_device.h"
#include "programmer/cli/devices.h"
#include "protocol/commands.h"

namespace cli {

// Everything but the versions comes from the rules the programming run itself follows.
DevicePlan planDevice(const app::ProgDlg& dialog, int row) {
    DevicePlan plan;
    plan.row = row;
    plan.bytes = dialog.Loaded().record[size_t(row)].dataLength;
    plan.erase = camera::ErasedBeforeWriting(row);
    plan.readBack = camera::ReadBackWhileProgramming(row, dialog.Options().emergencyMode);
    plan.from = versionText(dialog, row);
    plan.to = fileVersionText(dialog, row);

    camera::DeviceWritePlan write;
    if (!camera::PlanDeviceWrite(dialog.Loaded(), row, write))
        return plan;
    plan.firstAddress = write.firstAddress;
    plan.lastAddress = write.lastAddress;
    plan.blocks = uint32_t(write.blocks.size());
    for (const camera::PlannedBlock& block : write.blocks)
        plan.blocksWritten += block.skipped ? 0 : 1;
    return plan;
}

uint32_t lineRate(const app::ProgDlg& dialog) {
    return dialog.Options().interfaceType == app::kInterfaceCameraLink ? 115200
                                                                       : camera::kComPortBaudRate;
}

int writeSeconds(const DevicePlan& plan, uint32_t baud) {
    // Each block travels in a telegram with its header and answer; a read-back carries it twice.
    constexpr uint64_t kBlockBytes = 256 + 16;
    const uint64_t bytes = uint64_t(plan.blocksWritten) * kBlockBytes * (plan.readBack ? 2 : 1);
    return int((bytes * 10 + baud - 1) / baud);
}

std::string durationText(int seconds) {
    char text[32];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%d:%02d:%02d", seconds / 3600, seconds / 60 % 60,
                      seconds % 60);
    else
        std::snprintf(text, sizeof text, "%d:%02d", seconds / 60, seconds % 60);
    return text;
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
            {"firstAddress", hexText(plan.firstAddress)},
            {"lastAddress", hexText(plan.lastAddress)},
            {"from", plan.from},
            {"to", plan.to}};
}

std::string refusalText(int row, const app::DeviceDecision& device) {
    const auto version = [](int variant, int version) {
        return protocol::formatVersion(variant, version / 256, version % 256);
    };
    const std::string camera = version(device.camera.variant, device.camera.version);
    const std::string file = version(device.fileVariant, device.fileVersion);
    // The variant as the versions show it, all of its digits.
    const auto variantText = [](int variant) {
        char text[16];
        std::snprintf(text, sizeof text, "%03d", variant);
        return std::string(text);
    };
    switch (device.reason) {
        case app::UpdateReason::kOtherVariant:
            return deviceCaption(row) + ": the camera has variant " +
                   variantText(device.camera.variant) + " (" + camera + "), the file variant " +
                   variantText(device.fileVariant) + " (" + file +
                   "); --emergency accepts another variant.";
        case app::UpdateReason::kDowngrade:
            return deviceCaption(row) + ": the camera has " + camera + ", the file the older " +
                   file + "; --emergency programs an older version.";
        default:
            return "";
    }
}

std::string planText(const DevicePlan& plan) {
    std::string text = deviceCaption(plan.row) + ": " + plan.from + " -> " + plan.to + ", " +
                       std::to_string(plan.bytes) + " bytes at " + hexText(plan.firstAddress) + "-" +
                       hexText(plan.lastAddress) + ", " + std::to_string(plan.blocksWritten) +
                       " of " + std::to_string(plan.blocks) + " blocks written";
    text += plan.erase ? ", erased first" : ", not erased";
    if (plan.readBack)
        text += ", read back";
    return text;
}

std::string versionText(const app::ProgDlg& dialog, int row) {
    const int version = dialog.CameraVersion(row);
    return version < 0 ? std::string(protocol::kNoVersionText)
                       : protocol::formatVersion(dialog.CameraVariant(row), version / 256,
                                                 version % 256);
}

std::string fileVersionText(const app::ProgDlg& dialog, int row) {
    if (dialog.LoadDecision().devices[size_t(row)].reason == app::UpdateReason::kNotInFile)
        return protocol::kNoVersionText;
    const files::VersionBlock& version = dialog.Loaded().record[size_t(row)].version;
    return protocol::formatVersion(version.variant, version.versionMajor, version.versionMinor);
}

}  // namespace cli

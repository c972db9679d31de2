#include "programmer/app/update_policy.h"

namespace app {

namespace {

constexpr int kVariantNotReported = 0xFFFF;

bool otherVariant(const ReportedDevice& camera, int fileVariant) {
    return fileVariant != camera.variant && camera.variant != kVariantNotReported &&
           camera.variant != 0;
}

}  // namespace

UpdateDecision DecideUpdate(const std::array<ReportedDevice, files::kDeviceCount>& camera,
                            const FileVersions& file, bool emergency) {
    UpdateDecision decision;
    bool variantMismatch = false;
    bool downgrade = false;
    int inFile = 0;
    int upToDate = 0;
    for (size_t i = 0; i < decision.devices.size(); ++i) {
        DeviceDecision& device = decision.devices[i];
        device.camera = camera[i];
        if (!file[i])
            continue;
        ++inFile;
        device.fileVariant = file[i]->variant;
        device.fileVersion = file[i]->version();
        // A downgrade in a lower device keeps every later one from being offered.
        device.offered = !downgrade;
        const bool variantRefused = !emergency && otherVariant(camera[i], device.fileVariant);
        if (variantRefused) {
            device.offered = false;
            variantMismatch = true;
        }
        if (camera[i].version >= device.fileVersion) {
            ++upToDate;
            device.reason = UpdateReason::kUpToDate;
            if (!emergency && device.fileVersion < camera[i].version) {
                device.offered = false;
                device.reason = UpdateReason::kDowngrade;
                downgrade = true;
            }
        } else {
            device.reason = UpdateReason::kNewer;
            device.checked = !emergency;
        }
        if (variantRefused)
            device.reason = UpdateReason::kOtherVariant;
    }
    decision.refusal = variantMismatch ? Refusal::kOtherVariant
                       : downgrade     ? Refusal::kDowngrade
                                       : Refusal::kNone;
    // A refused file programs nothing: no device may look chosen beside the refusal.
    if (decision.refusal != Refusal::kNone)
        for (DeviceDecision& device : decision.devices) device.checked = false;
    decision.upToDate = decision.refusal == Refusal::kNone && upToDate == inFile;
    return decision;
}

}  // namespace app

#pragma once
// Which devices of an update file may be written into the camera, decided from the versions
// alone: Load File renders the decision on its rows, the console explains a refusal with it.

#include <array>
#include <optional>

#include "programmer/files/update_file_format.h"

namespace app {

// What the camera reported for one device: version -1 when it did not report the device; a
// variant of 0xFFFF or 0 says nothing about the variant.
struct ReportedDevice {
    int variant = 0xFFFF;
    int version = -1;
};

enum class UpdateReason {
    kNotInFile,     // the file holds no image for the device
    kNewer,         // the file's version is newer (or the camera did not report the device)
    kUpToDate,      // the camera has the file's version (in emergency mode: or a newer one)
    kOtherVariant,  // the file's variant is not the camera's: the file is refused
    kDowngrade,     // the file's version is older than the camera's: the file is refused
};

struct DeviceDecision {
    UpdateReason reason = UpdateReason::kNotInFile;
    bool offered = false;  // its check box may be chosen
    bool checked = false;  // the load chooses it
    ReportedDevice camera;
    // The file's variant and version (major * 256 + minor); -1 when it holds no image.
    int fileVariant = -1;
    int fileVersion = -1;
};

enum class Refusal { kNone, kOtherVariant, kDowngrade };

struct UpdateDecision {
    std::array<DeviceDecision, files::kDeviceCount> devices{};
    Refusal refusal = Refusal::kNone;
    // Every device of an accepted file is up to date already.
    bool upToDate = false;
};

// The file's version block per device, nothing where it holds no image.
using FileVersions = std::array<std::optional<files::VersionBlock>, files::kDeviceCount>;

// Outside emergency mode another variant or an older version refuses the whole file, and a
// downgrade keeps every later device from being offered; newer images are chosen. In emergency
// mode everything in the file is offered and nothing is chosen.
UpdateDecision DecideUpdate(const std::array<ReportedDevice, files::kDeviceCount>& camera,
                            const FileVersions& file, bool emergency);

}  // namespace app

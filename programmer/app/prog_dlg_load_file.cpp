// Load File: reads an update file, judges its signature, checks its tag and checksum, compares each device's variant
// and version with what the camera reported (the update policy), and offers the devices the
// policy chose.

#include <array>
#include <cerrno>
#include <string>
#include <utility>
#include <vector>

#include "programmer/app/prog_dlg.h"
#include "programmer/app/update_policy.h"
#include "programmer/files/file_io.h"
#include "programmer/files/load_update_file.h"
#include "protocol/commands.h"

namespace app {

namespace {

constexpr const char* kUpdateFileFilter = "qel.update files (*.qup)|*.qup||";
constexpr const char* kVariantMismatch =
    "Some variant numbers do not fit !\nFirmware file maybe for a different qel.camera type.\n"
    "Please verify correct firmware file.";
constexpr const char* kDowngrade = "Firmware version too old!\nFirmware downgrade is not allowed.";
constexpr const char* kUpToDate = "Your camera is up to date!\n";

std::string fileNameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

void ProgDlg::ClearLoad() {
    // Every load starts from the no-file state.
    for (int row = 0; row < kRowCount; ++row) {
        SetRowState(row, ROW_IDLE);
        loaded.present[size_t(row)] = false;
        CheckDevice(row, false);
        EnableDevice(row, false);
        SetLoadedFwText(row, protocol::kNoVersionText);
    }
    loaded.loadedFileName.clear();
    loadDecision_ = UpdateDecision{};
    // Program stays enabled only while an accepted file is loaded.
    model.enable(kIdProgram, false);
    Changed();
}

void ProgDlg::OnLoadFile() {
    ClearLoad();
    FileDialogRequest request;
    request.filter = kUpdateFileFilter;
    request.defaultExtension = "qup";
    if (const std::optional<std::string> path = host_.openFileDialog(request))
        LoadFileSteps(*path);
}

bool ProgDlg::LoadFile(const std::string& path) {
    ClearLoad();
    LoadFileSteps(path);
    return !loaded.loadedFileName.empty();
}

void ProgDlg::LoadFileSteps(const std::string& path) {
    std::vector<uint8_t> bytes;
    const int readError = files::readWholeFile(path, bytes);
    if (readError == ENOMEM) {
        host_.warning(files::kMemoryErrorMessage);
        return;
    }
    if (readError != 0) {
        host_.warning(files::cantOpenFileMessage(path, readError));
        return;
    }

    // The signature is judged before anything of the file is used; a refused file leaves the
    // rows as the start of the load cleared them.
    files::SigningPolicy ownPolicy;
    const files::SigningPolicy* policy = signingPolicy_;
    if (policy == nullptr) {
        ownPolicy = files::loadSigningPolicy(false);
        for (const std::string& warning : ownPolicy.warnings)
            host_.warning(warning + "\n");
        policy = &ownPolicy;
    }
    const files::TrustVerdict verdict = files::checkUpdateFileTrust(path, bytes, *policy);
    if (verdict.outcome == files::TrustOutcome::kRefused) {
        loaded.freeBuffers();  // nothing of the file before stays behind either
        host_.warning(verdict.message);
        return;
    }
    ShowStatus(verdict.message);

    // The reader walks the records within the bytes read; a refused file leaves no buffers and no
    // device present behind.
    const files::UpdateFileError error = files::loadUpdateFileIntoModel(std::move(bytes), loaded);
    if (error != files::UpdateFileError::kNone) {
        host_.warning(files::updateFileErrorMessage(error));
        if (error == files::UpdateFileError::kCorrupt)
            RefreshControls();
        return;
    }

    std::array<ReportedDevice, kRowCount> reported;
    FileVersions file;
    for (size_t i = 0; i < size_t(kRowCount); ++i) {
        reported[i] = {cameraVariant[i], cameraVersion[i]};
        if (loaded.present[i])
            file[i] = loaded.record[i].version;
    }
    loadDecision_ = DecideUpdate(reported, file, options.emergencyMode);
    for (int row = 0; row < kRowCount; ++row) {
        const DeviceDecision& device = loadDecision_.devices[size_t(row)];
        if (device.reason == UpdateReason::kNotInFile) {
            SetLoadedFwText(row, protocol::kNoVersionText);
            continue;
        }
        const files::VersionBlock& version = loaded.record[size_t(row)].version;
        SetLoadedFwText(row, protocol::formatVersion(version.variant, version.versionMajor,
                                                     version.versionMinor));
        EnableDevice(row, device.offered);
        CheckDevice(row, device.checked);
        // Another variant's image is not there to be written.
        if (device.reason == UpdateReason::kOtherVariant)
            loaded.present[size_t(row)] = false;
    }

    if (loadDecision_.refusal != Refusal::kNone) {
        model.enable(kIdProgram, false);
        Changed();
        host_.warning(loadDecision_.refusal == Refusal::kOtherVariant ? kVariantMismatch
                                                                      : kDowngrade);
        return;
    }
    model.enable(kIdProgram);
    if (loadDecision_.upToDate)
        host_.messageBox(kUpToDate, "Warning", BoxIcon::Warning);
    loaded.loadedFileName = fileNameOf(path);
    RefreshControls();
}

}  // namespace app

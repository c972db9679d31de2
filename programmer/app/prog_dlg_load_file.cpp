// Load File: reads an update file, checks its tag and checksum, compares each device's variant
// and version with what the camera reported, and offers the devices with newer images.

#include <cerrno>
#include <string>
#include <utility>
#include <vector>

#include "programmer/app/prog_dlg.h"
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
constexpr int kVariantNotReported = 0xFFFF;

std::string fileNameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

void ProgDlg::OnLoadFile() {
    // Every load starts from the no-file state.
    for (int row = 0; row < kRowCount; ++row) {
        SetRowState(row, ROW_IDLE);
        loaded.present[size_t(row)] = false;
        CheckDevice(row, false);
        EnableDevice(row, false);
        SetLoadedFwText(row, protocol::kNoVersionText);
    }
    loaded.loadedFileName.clear();
    // Program stays enabled only while an accepted file is loaded.
    model.enable(kIdProgram, false);
    Changed();

    FileDialogRequest request;
    request.filter = kUpdateFileFilter;
    request.defaultExtension = "qup";
    const std::optional<std::string> path = host_.openFileDialog(request);
    if (!path)
        return;

    std::vector<uint8_t> bytes;
    const int readError = files::readWholeFile(*path, bytes);
    if (readError == ENOMEM) {
        host_.warning(files::kMemoryErrorMessage);
        return;
    }
    if (readError != 0) {
        host_.warning(files::cantOpenFileMessage(*path, readError));
        return;
    }

    // The reader walks the records within the bytes read; a refused file leaves no buffers and no
    // device present behind.
    const files::UpdateFileError error = files::loadUpdateFileIntoModel(std::move(bytes), loaded);
    if (error != files::UpdateFileError::kNone) {
        host_.warning(files::updateFileErrorMessage(error));
        if (error == files::UpdateFileError::kCorrupt)
            RefreshControls();
        return;
    }

    bool variantMismatch = false;
    bool downgrade = false;
    int offered = 0;
    int upToDate = 0;
    const bool emergency = options.emergencyMode;
    for (int row = 0; row < kRowCount; ++row) {
        const size_t i = size_t(row);
        if (!loaded.present[i]) {
            SetLoadedFwText(row, protocol::kNoVersionText);
            loaded.fileVariant[i] = -1;
            loaded.fileVersion[i] = -1;
            continue;
        }
        const files::VersionBlock& version = loaded.record[i].version;
        ++offered;
        SetLoadedFwText(row, protocol::formatVersion(version.variant, version.versionMajor,
                                                     version.versionMinor));
        // A downgrade in a lower device keeps every later one from being chosen.
        EnableDevice(row, !downgrade);
        loaded.fileVariant[i] = version.variant;
        loaded.fileVersion[i] = version.version();

        if (loaded.fileVariant[i] != cameraVariant[i] && !emergency &&
            cameraVariant[i] != kVariantNotReported && cameraVariant[i] != 0) {
            CheckDevice(row, false);
            EnableDevice(row, false);
            loaded.present[i] = false;
            variantMismatch = true;
        }
        if (cameraVersion[i] >= loaded.fileVersion[i]) {
            ++upToDate;
            if (!emergency && loaded.fileVersion[i] < cameraVersion[i]) {
                EnableDevice(row, false);
                downgrade = true;
            }
        } else if (!emergency) {
            CheckDevice(row);
        }
    }

    model.enable(kIdProgram);
    // A refused file programs nothing: no row may look chosen beside the refusal.
    if (variantMismatch || downgrade)
        for (int row = 0; row < kRowCount; ++row) CheckDevice(row, false);
    if (variantMismatch) {
        model.enable(kIdProgram, false);
        Changed();
        host_.warning(kVariantMismatch);
        return;
    }
    if (downgrade) {
        model.enable(kIdProgram, false);
        Changed();
        host_.warning(kDowngrade);
        return;
    }
    if (upToDate == offered)
        host_.messageBox(kUpToDate, "Warning", BoxIcon::Warning);
    loaded.loadedFileName = fileNameOf(*path);
    RefreshControls();
}

}  // namespace app

// The main dialog's services: status line, rows, version texts, check boxes, and which controls
// are enabled.

#include "programmer/app/prog_dlg.h"

#include <algorithm>

namespace app {

void ProgDlg::ShowStatus() {
    statusShown = statusText;
    model.setCaption(kIdStatusLine, statusShown);
    if (runHooks.observer)
        runHooks.observer->statusShown(statusShown);
    Changed();
}

void ProgDlg::ShowStatus(const std::string& text) {
    statusText = text;
    ShowStatus();
}

void ProgDlg::SetRowState(int row, uint32_t state) {
    if (row < 0 || row >= kRowCount) return;
    model.rowState[static_cast<size_t>(row)] = state;
    host_.repaintNow(model);
}

void ProgDlg::SetProgress(int row, int percent) {
    if (row < 0 || row >= kRowCount) return;
    model.control(progressId(row)).position = std::clamp(percent, 0, 100);
    Changed();
}

void ProgDlg::SetCurrentFwText(int row, const std::string& text) {
    if (row < 0 || row >= kRowCount) return;
    model.setCaption(currentFwId(row), text);
    Changed();
}

void ProgDlg::SetLoadedFwText(int row, const std::string& text) {
    if (row < 0 || row >= kRowCount) return;
    model.setCaption(loadedFwId(row), text);
    Changed();
}

bool ProgDlg::IsDeviceChecked(int row) const {
    return row >= 0 && row < kRowCount && model.isChecked(checkBoxId(row));
}

void ProgDlg::EnableDevice(int row, bool on) {
    if (row >= 0 && row < kRowCount) model.enable(checkBoxId(row), on);
}

void ProgDlg::CheckDevice(int row, bool on) {
    if (row >= 0 && row < kRowCount) model.check(checkBoxId(row), on);
}

void ProgDlg::DisableButtonsAndChecks() {
    for (const int id : kMainButtons) model.enable(id, false);
    for (int row = 0; row < kRowCount; ++row) EnableDevice(row, false);
}

void ProgDlg::DisableAllControls() {
    DisableButtonsAndChecks();
    model.rowState.fill(ROW_IDLE);
    host_.repaintNow(model);
    Changed();
}

void ProgDlg::RefreshControls() {
    model.enable(kIdQuit);
    model.enable(kIdSelectPort);
    if (cameraConnected()) {
        model.enable(kIdReboot);
        model.enable(kIdLoadFile);
    }
    model.enable(kIdProgram, !loaded.loadedFileName.empty());
    model.enable(kIdPacket, false);
    if (options.packetMode == kPacketNormal) {
        for (int row = 0; row < kRowCount; ++row) EnableDevice(row, loaded.present[static_cast<size_t>(row)]);
        Changed();
        return;
    }
    if (!options.emergencyMode) model.enable(kIdLoadFile, false);
    if (options.packetMode == kPacketDevice) {
        for (int row = 0; row < kRowCount; ++row) EnableDevice(row, deviceAvailable[static_cast<size_t>(row)]);
        model.setCaption(kIdPacket, "DevicePacket");
    } else {
        model.setCaption(kIdPacket, "FilePacket");
        for (int row = 0; row < kRowCount; ++row) EnableDevice(row);
    }
    model.enable(kIdPacket);
    Changed();
}

void ProgDlg::StatusLineWaitHost::showStatus(const std::string& text) { dialog_.ShowStatus(text); }

ProgDlg::ControlsLock::ControlsLock(ProgDlg& dialog) : dialog_(dialog) {
    size_t i = 0;
    for (const int id : kMainButtons) enabled_[i++] = dialog_.model.isEnabled(id);
    for (int row = 0; row < kRowCount; ++row) enabled_[i++] = dialog_.model.isEnabled(checkBoxId(row));
    dialog_.DisableButtonsAndChecks();
    dialog_.Changed();
}

ProgDlg::ControlsLock::~ControlsLock() {
    size_t i = 0;
    for (const int id : kMainButtons) dialog_.model.enable(id, enabled_[i++]);
    for (int row = 0; row < kRowCount; ++row) dialog_.EnableDevice(row, enabled_[i++]);
    dialog_.Changed();
}

}  // namespace app

#include "programmer/app/device_read_run.h"

#include <cstdio>

#include "programmer/app/contact.h"
#include "programmer/camera/flash_device.h"

namespace app {

namespace {

constexpr size_t kLabelMax = 20;
constexpr int kRowMainUp = 0;
constexpr uint32_t kAfterCloseMs = 200;
constexpr uint32_t kMainUpAnswerMs = 2000;

class DeviceLoop {
public:
    DeviceLoop(ProgDlg& dialog, const ReadRunTexts& texts) : dialog_(dialog), texts_(texts) {}
    ReadRunEnd readOne(int row, const OpenDeviceReader& read);

private:
    void phase(int row, RunPhase step) {
        if (dialog_.runObserver)
            dialog_.runObserver->phaseStarted(row, step);
    }
    void finish(int row, DeviceResult result, protocol::ErrorCode error) {
        dialog_.lastRead[size_t(row)] = DeviceOutcome{result, error};
        if (dialog_.runObserver)
            dialog_.runObserver->deviceFinished(row, dialog_.lastRead[size_t(row)]);
    }
    // Ends the run with a message; only Quit stays enabled. The rows keep their colours, so
    // the device that stopped the run stays marked.
    ReadRunEnd stop(ReadRunEnd end, const std::string& message) {
        dialog_.host().warning(message);
        const auto states = dialog_.model.rowState;
        dialog_.DisableAllControls();
        dialog_.model.rowState = states;
        dialog_.model.enable(kIdQuit);
        dialog_.host().repaintNow(dialog_.model);
        dialog_.Changed();
        return end;
    }

    ProgDlg& dialog_;
    const ReadRunTexts& texts_;
};

ReadRunEnd DeviceLoop::readOne(int row, const OpenDeviceReader& read) {
    camera::CCamUpdate* link = dialog_.camera.get();
    phase(row, RunPhase::kOpen);
    protocol::ErrorCode result = protocol::kErrNoCamera;
    if (link != nullptr) {
        link->PrepareTransfer(row);
        result = camera::OpenDevice(*link, row, camera::kOpenAttemptsBackup);
    }
    if (result != 0) {
        dialog_.SetRowState(row, ROW_FAILED);
        finish(row, DeviceResult::kFailed, result);
        return stop(ReadRunEnd::kOpenFailed, WithContactLine(texts_.openFailed));
    }

    dialog_.SetRowState(row, ROW_ACTIVE);
    char status[128];
    std::snprintf(status, sizeof status, texts_.reading, RowLabel(dialog_, row).c_str());
    dialog_.ShowStatus(status);
    phase(row, RunPhase::kRead);
    result = read(row);
    dialog_.SetRowState(row, result == 0 ? ROW_DONE : ROW_FAILED);
    finish(row, result == 0 ? DeviceResult::kRead : DeviceResult::kFailed, result);

    phase(row, RunPhase::kClose);
    if (camera::CloseDevice(*link) != 0)
        return stop(ReadRunEnd::kCloseFailed, "Cannot close device! Programmer quits update!\n");
    dialog_.host().clock().sleepFor(platform::Milliseconds(kAfterCloseMs));
    if (row == kRowMainUp && link->WaitForCamera(dialog_.waitHost(), kMainUpAnswerMs) != 0)
        return stop(ReadRunEnd::kCameraSilent, "Cannot open device! Programmer quits update!\n");

    phase(row, RunPhase::kReboot);
    return dialog_.RebootCamera() ? ReadRunEnd::kCompleted : ReadRunEnd::kCameraLost;
}

}  // namespace

ReadRunEnd ReadDevicesOneByOne(ProgDlg& dialog, const std::vector<int>& rows,
                               const ReadRunTexts& texts, const OpenDeviceReader& read) {
    dialog.lastRead.fill(DeviceOutcome{});
    DeviceLoop loop(dialog, texts);
    ReadRunEnd end = ReadRunEnd::kCompleted;
    int lastRow = -1;
    dialog.runStopped = false;
    for (const int row : rows) {
        // A safe point: the device before was read and the camera rebooted.
        if (dialog.stopRequested && dialog.stopRequested()) {
            dialog.runStopped = true;
            end = ReadRunEnd::kStopped;
            break;
        }
        end = loop.readOne(row, read);
        lastRow = row;
        if (end != ReadRunEnd::kCompleted)
            break;
    }
    if (end == ReadRunEnd::kCompleted && dialog.camera && lastRow >= 0) {
        dialog.camera->FinishTransfer(lastRow);
        // Its result does not change what was read; a failure leaves its text in the link.
        camera::CheckDaven(*dialog.camera);
    }
    if (dialog.runObserver) {
        // The run succeeded only when every chosen device was read completely.
        bool allRead = end == ReadRunEnd::kCompleted;
        for (const int row : rows)
            allRead = allRead && dialog.lastRead[size_t(row)].result == DeviceResult::kRead;
        dialog.runObserver->runFinished(allRead);
    }
    return end;
}

std::vector<int> CheckedAvailableDevices(const ProgDlg& dialog) {
    std::vector<int> rows;
    for (int row = 0; row < kRowCount; ++row)
        if (dialog.IsDeviceChecked(row) && dialog.deviceAvailable[size_t(row)])
            rows.push_back(row);
    return rows;
}

std::string RowLabel(const ProgDlg& dialog, int row) {
    return dialog.model.caption(checkBoxId(row)).substr(0, kLabelMax);
}

}  // namespace app

#include "programmer/app/device_run.h"

#include "programmer/app/contact.h"

namespace app {

namespace {
constexpr size_t kLabelMax = 20;
}  // namespace

RunEnd DeviceRun::run(const std::vector<int>& rows) {
    dialog_.deviceResults.fill(DeviceOutcome{});
    dialog_.runStopped = false;
    if (!rows.empty())
        guard_ = dialog_.host().guardRun();
    const RunEnd end = devices(rows);
    guard_.reset();
    return end;
}

RunEnd DeviceRun::devices(const std::vector<int>& rows) {
    for (const int row : rows) {
        // A safe point: the device before was finished and the camera rebooted.
        if (dialog_.runHooks.stopRequested && dialog_.runHooks.stopRequested()) {
            dialog_.runStopped = true;
            return RunEnd::kStopped;
        }
        if (const RunEnd end = device(row); end != RunEnd::kCompleted)
            return end;
    }
    return RunEnd::kCompleted;
}

RunEnd DeviceRun::device(int row) {
    if (const protocol::ErrorCode left = body_.leaveOut(row); left != 0) {
        fail(row, left);
        report(row);
        return RunEnd::kCompleted;
    }
    body_.opening(row);
    camera::CCamUpdate* link = dialog_.camera.get();
    phase(row, RunPhase::kOpen);
    protocol::ErrorCode result = protocol::kErrNoCamera;
    if (link != nullptr) {
        link->PrepareTransfer(row);
        result = camera::OpenDevice(*link, row, body_.rules.openAttempts);
    }
    if (result != 0) {
        if (body_.mayBeMissing(row)) {
            outcome(row) = DeviceOutcome{DeviceResult::kNotRun, result};
            report(row);
            return RunEnd::kEndedQuietly;
        }
        fail(row, result);
        report(row);
        return end(RunEnd::kFailed, WithContactLine(body_.rules.openFailedText));
    }

    const DeviceBody::Step worked = body_.work(*this, row);
    if (worked.end != RunEnd::kCompleted || body_.rules.resultBeforeClose)
        report(row);
    if (worked.end != RunEnd::kCompleted)
        return end(worked.end, worked.message);

    phase(row, RunPhase::kClose);
    result = camera::CloseDevice(*link);
    if (result != 0) {
        body_.closeFailed(*this, row, result);
        if (!body_.rules.resultBeforeClose)
            report(row);
        return end(RunEnd::kCloseFailed, "Cannot close device! Programmer quits update!\n");
    }
    const DeviceBody::Step closed = body_.closed(row);
    if (!body_.rules.resultBeforeClose)
        report(row);
    if (closed.end != RunEnd::kCompleted)
        return end(closed.end, closed.message);

    body_.rebooting(row);
    phase(row, RunPhase::kReboot);
    if (!dialog_.RebootCamera())
        return RunEnd::kCameraLost;
    body_.rebooted(row);
    return RunEnd::kCompleted;
}

void DeviceRun::phase(int row, RunPhase step) {
    if (dialog_.runHooks.observer)
        dialog_.runHooks.observer->phaseStarted(row, step);
}

void DeviceRun::report(int row) {
    if (dialog_.runHooks.observer)
        dialog_.runHooks.observer->deviceFinished(row, outcome(row));
}

void DeviceRun::finished(bool result) {
    if (dialog_.runHooks.observer)
        dialog_.runHooks.observer->runFinished(result);
}

void DeviceRun::succeed(int row, DeviceResult result) {
    outcome(row) = DeviceOutcome{result, 0};
    dialog_.SetRowState(row, ROW_DONE);
}

void DeviceRun::fail(int row, protocol::ErrorCode error, bool incomplete) {
    outcome(row) = DeviceOutcome{DeviceResult::kFailed, error};
    outcome(row).incomplete = incomplete;
    dialog_.SetRowState(row, ROW_FAILED);
}

RunEnd DeviceRun::end(RunEnd end, const std::string& message) {
    // A box may wait for the user for hours: the machine need not stay up for it.
    guard_.reset();
    dialog_.host().warning(message);
    if (body_.rules.onlyQuitAfterFailure) {
        const auto states = dialog_.model.rowState;
        dialog_.DisableAllControls();
        dialog_.model.rowState = states;
        dialog_.model.enable(kIdQuit);
        dialog_.host().repaintNow(dialog_.model);
        dialog_.Changed();
    }
    return end;
}

std::vector<int> CheckedAvailableDevices(const ProgDlg& dialog) {
    std::vector<int> rows;
    for (int row = 0; row < kRowCount; ++row)
        if (dialog.IsDeviceChecked(row) && dialog.DeviceAvailable(row))
            rows.push_back(row);
    return rows;
}

std::string RowLabel(const ProgDlg& dialog, int row) {
    return dialog.Model().caption(checkBoxId(row)).substr(0, kLabelMax);
}

}  // namespace app

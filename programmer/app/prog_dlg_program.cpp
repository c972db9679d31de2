// Program: writes the checked devices from the loaded update file into the camera, one after
// the other (open, erase, block writes with checks, close), rebooting the camera after each.

#include <cstdio>
#include <string>

#include "programmer/app/contact.h"
#include "programmer/app/prog_dlg.h"
#include "programmer/camera/flash_device.h"
#include "protocol/commands.h"

namespace app {

namespace {

using protocol::ErrorCode;

constexpr size_t kLabelMax = 20;

std::string withLabel(const char* format, const std::string& label) {
    char text[128];
    std::snprintf(text, sizeof text, format, label.c_str());
    return text;
}

class RowProgress : public camera::ProgressSink {
public:
    explicit RowProgress(ProgDlg& dialog) : dialog_(dialog) {}
    void setProgress(int row, int percent) override { dialog_.SetProgress(row, percent); }

private:
    ProgDlg& dialog_;
};

// One programming run over the dialog's rows.
class ProgramRun {
public:
    explicit ProgramRun(ProgDlg& dialog) : dialog_(dialog), progress_(dialog) {}
    bool run();

private:
    enum class End { kCompleted, kHeadFpgaNotOpened, kFailed, kCloseFailed, kCameraLost, kStopped };

    End programRow(int row);
    void setOutcome(int row, DeviceResult result, ErrorCode error);
    void fail(int row, ErrorCode error, bool incomplete = false);
    std::string label(int row) const {
        return dialog_.model.caption(checkBoxId(row)).substr(0, kLabelMax);
    }
    // "Main FPGA, PLL": the rows whose outcome passes `test`.
    // With `checkedOnly`, only the rows checked for this run.
    template <typename Test>
    std::string labels(Test test, bool checkedOnly = false) const;
    void phase(int row, RunPhase step) {
        if (dialog_.runObserver)
            dialog_.runObserver->phaseStarted(row, step);
    }
    void finished(int row) {
        if (dialog_.runObserver)
            dialog_.runObserver->deviceFinished(row, dialog_.lastRun[size_t(row)]);
    }
    // "Programming failed for Main FPGA, PLL! ", what those still need, and `tail`; just `tail`
    // when nothing failed.
    std::string endStatus(const std::string& tail) const;

    ProgDlg& dialog_;
    RowProgress progress_;
};

bool ProgramRun::run() {
    dialog_.lastRun.fill(DeviceOutcome{});
    dialog_.runStopped = false;
    char title[128];
    std::snprintf(title, sizeof title, "%s / DO NOT UNPLUG OR SWITCH OFF!!", ProgramTitle);
    dialog_.model.windowTitle = title;
    dialog_.programmingRun = true;
    dialog_.ShowStatus("Program Device(s)");
    dialog_.DisableAllControls();

    const bool emergency = dialog_.options.emergencyMode;
    dialog_.versionsReadAfterRun = dialog_.lastCameraInfoResult;
    End end = End::kCompleted;
    for (int row = 0; row < kRowCount && end == End::kCompleted; ++row) {
        const size_t i = size_t(row);
        if (!dialog_.IsDeviceChecked(row))
            continue;
        if (dialog_.stopRequested && dialog_.stopRequested()) {
            end = End::kStopped;
            break;
        }
        // Decided now: the reboots after the earlier devices have refreshed what the camera
        // reports (a camera in boot mode reports its other devices once the Main uP runs).
        if (!emergency && !dialog_.deviceAvailable[i]) {
            fail(row, kErrDeviceNotReported);
            finished(row);
            continue;
        }
        // Without an image in the file the device must not even be erased.
        if (!dialog_.loaded.present[i] || dialog_.loaded.record[i].dataLength == 0) {
            fail(row, camera::kErrBadDeviceRequest);
            finished(row);
            continue;
        }
        end = programRow(row);
    }

    dialog_.programmingRun = false;
    bool result = true;
    switch (end) {
        case End::kStopped:
            dialog_.runStopped = true;
            dialog_.ShowStatus(endStatus(
                "Programming stopped before " +
                labels([&](const DeviceOutcome& o) { return o.result == DeviceResult::kNotRun; },
                       true) +
                ". " + kLoadOrSelect));
            dialog_.RefreshControls();
            break;
        case End::kCompleted:
        case End::kHeadFpgaNotOpened:
            dialog_.ShowStatus(endStatus(kLoadOrSelect));
            dialog_.RefreshControls();
            break;
        case End::kFailed:
            result = false;
            dialog_.ShowStatus(endStatus(""));
            break;
        case End::kCloseFailed:
            dialog_.ShowStatus(endStatus(""));
            break;
        case End::kCameraLost:
            result = false;
            dialog_.ShowStatus(endStatus(kConnectionLost));
            break;
    }
    dialog_.model.windowTitle = std::string(emergency ? ProgramTitleEmergency : ProgramTitle) + " ";
    dialog_.Changed();
    if (dialog_.runObserver)
        dialog_.runObserver->runFinished(result);
    return result;
}

ProgramRun::End ProgramRun::programRow(int row) {
    const size_t i = size_t(row);
    const std::string name = label(row);
    camera::CCamUpdate* link = dialog_.camera.get();
    const bool emergency = dialog_.options.emergencyMode;
    dialog_.ShowStatus(withLabel("Program Device %s", name));

    phase(row, RunPhase::kOpen);
    ErrorCode result = protocol::kErrNoCamera;
    if (link != nullptr) {
        link->PrepareTransfer(row);
        result = camera::OpenDevice(*link, row, camera::kOpenAttemptsUpdate);
    }
    if (result != 0) {
        if (row == files::kRowHeadFpga) {
            // Not every camera has a head FPGA that can be reached: the run ends normally.
            setOutcome(row, DeviceResult::kNotRun, result);
            finished(row);
            return End::kHeadFpgaNotOpened;
        }
        fail(row, result);
        finished(row);
        dialog_.host().warning(WithContactLine("Error Open Device!\nPlease contact QEL AG!\n"));
        return End::kFailed;
    }
    // From here on the dialog's versions may no longer be what the camera holds.
    dialog_.versionsReadAfterRun = false;

    if (camera::ErasedBeforeWriting(row)) {
        dialog_.ShowStatus(withLabel("Erase Device %s", name));
        phase(row, RunPhase::kErase);
        result = camera::EraseDevice(*link);
        if (result != 0) {
            fail(row, result, true);
            // Leave no device open behind, whatever state its flash is in.
            camera::CloseDevice(*link);
            finished(row);
            dialog_.host().warning(WithContactLine("Error Erase Flash!\nPlease contact QEL AG!\n"));
            return End::kFailed;
        }
    }

    dialog_.ShowStatus(withLabel("Program Device %s", name));
    dialog_.SetCurrentFwText(row, protocol::kNoVersionText);
    dialog_.SetRowState(row, ROW_ACTIVE);
    phase(row, RunPhase::kWrite);
    result =
        camera::ProgramDevice(*link, row, dialog_.loaded, emergency, progress_, dialog_.waitHost());
    if (result == 0) {
        setOutcome(row, DeviceResult::kProgrammed, 0);
        dialog_.lastRun[i].verified = camera::VerifiedWhileProgramming(row, emergency);
        dialog_.SetRowState(row, ROW_DONE);
    } else {
        // Also when the Main uP's checksum step failed: its flash is not known to be good.
        fail(row, result, true);
    }

    phase(row, RunPhase::kClose);
    result = camera::CloseDevice(*link);
    if (result != 0) {
        // A device that could not be closed may not have kept its last writes; its version is
        // unknown until the camera is read again.
        if (dialog_.lastRun[i].result == DeviceResult::kProgrammed)
            fail(row, result, true);
        finished(row);
        dialog_.host().warning("Cannot close device! Programmer quits update!\n");
        return End::kCloseFailed;
    }
    if (dialog_.lastRun[i].result == DeviceResult::kProgrammed) {
        const files::VersionBlock& version = dialog_.loaded.record[i].version;
        dialog_.SetCurrentFwText(row, protocol::formatVersion(version.variant, version.versionMajor,
                                                              version.versionMinor));
    }
    finished(row);

    dialog_.programmingRun = false;
    phase(row, RunPhase::kReboot);
    if (!dialog_.RebootCamera())
        return End::kCameraLost;
    dialog_.versionsReadAfterRun = dialog_.lastCameraInfoResult;
    return End::kCompleted;
}

void ProgramRun::setOutcome(int row, DeviceResult result, ErrorCode error) {
    dialog_.lastRun[size_t(row)] = DeviceOutcome{result, error};
}

void ProgramRun::fail(int row, ErrorCode error, bool incomplete) {
    setOutcome(row, DeviceResult::kFailed, error);
    dialog_.lastRun[size_t(row)].incomplete = incomplete;
    dialog_.SetRowState(row, ROW_FAILED);
}

template <typename Test>
std::string ProgramRun::labels(Test test, bool checkedOnly) const {
    std::string names;
    for (int row = 0; row < kRowCount; ++row) {
        if (!test(dialog_.lastRun[size_t(row)]) || (checkedOnly && !dialog_.IsDeviceChecked(row)))
            continue;
        if (!names.empty())
            names += ", ";
        names += label(row);
    }
    return names;
}

std::string ProgramRun::endStatus(const std::string& tail) const {
    const std::string failed =
        labels([](const DeviceOutcome& o) { return o.result == DeviceResult::kFailed; });
    if (failed.empty())
        return tail;
    std::string text = "Programming failed for " + failed + "!";
    const std::string incomplete = labels([](const DeviceOutcome& o) { return o.incomplete; });
    if (!incomplete.empty())
        text += " Incomplete, program again: " + incomplete + ".";
    const std::string unreported =
        labels([](const DeviceOutcome& o) { return o.error == kErrDeviceNotReported; });
    if (!unreported.empty())
        text += " Not reported by the camera: " + unreported + ".";
    if (!tail.empty())
        text += " " + tail;
    return text;
}

}  // namespace

bool ProgDlg::ProgramSelectedDevices() {
    return ProgramRun(*this).run();
}

void ProgDlg::OnProgram() {
    if (!ProgramSelectedDevices())
        host_.warning(WithContactLine("Programming failed!\nPlease contact QEL AG!\n"));
    model.enable(kIdQuit);
    Changed();
}

}  // namespace app

// Program: writes the checked devices from the loaded update file into the camera, one after
// the other (open, erase, block writes with checks, close), rebooting the camera after each.

#include <cstdio>
#include <string>

#include "programmer/app/contact.h"
#include "programmer/app/device_run.h"
#include "programmer/app/prog_dlg.h"
#include "programmer/camera/flash_device.h"
#include "protocol/commands.h"

namespace app {

namespace {

using protocol::ErrorCode;

std::string withLabel(const char* format, const std::string& label) {
    char text[128];
    std::snprintf(text, sizeof text, format, label.c_str());
    return text;
}

// What a programming run does with each device: leaves out one it cannot program, erases and
// writes an opened one, and shows the new version once the device was closed.
}  // namespace

class ProgDlg::ProgramBody : public DeviceBody {
public:
    explicit ProgramBody(ProgDlg& dialog)
        : DeviceBody({camera::kOpenAttemptsUpdate, "Error Open Device!\nPlease contact QEL AG!\n",
                      false, false}),
          dialog_(dialog),
          progress_(dialog) {}

    ErrorCode leaveOut(int row) override {
        const size_t i = size_t(row);
        // Decided now: the reboots after the earlier devices have refreshed what the camera
        // reports (a camera in boot mode reports its other devices once the Main uP runs).
        if (!dialog_.options.emergencyMode && !dialog_.deviceAvailable[i])
            return kErrDeviceNotReported;
        // Without an image in the file the device must not even be erased.
        if (!dialog_.loaded.present[i] || dialog_.loaded.record[i].dataLength == 0)
            return camera::kErrBadDeviceRequest;
        return 0;
    }
    void opening(int row) override {
        dialog_.ShowStatus(withLabel("Program Device %s", RowLabel(dialog_, row)));
    }
    // Not every camera has a head FPGA that can be reached: the run ends normally.
    bool mayBeMissing(int row) const override { return row == files::kRowHeadFpga; }
    Step work(DeviceRun& run, int row) override;
    void closeFailed(DeviceRun& run, int row, ErrorCode error) override {
        // A device that could not be closed may not have kept its last writes; its version is
        // unknown until the camera is read again.
        if (run.outcome(row).result == DeviceResult::kProgrammed)
            run.fail(row, error, true);
    }
    Step closed(int row) override {
        if (dialog_.deviceResults[size_t(row)].result == DeviceResult::kProgrammed) {
            const files::VersionBlock& version = dialog_.loaded.record[size_t(row)].version;
            dialog_.SetCurrentFwText(row, protocol::formatVersion(version.variant,
                                                                  version.versionMajor,
                                                                  version.versionMinor));
        }
        return {};
    }
    void rebooting(int) override { dialog_.programmingRun = false; }
    void rebooted(int) override { dialog_.versionsReadAfterRun = dialog_.lastCameraInfoResult; }

private:
    ProgDlg& dialog_;
    RowProgress progress_;
};

DeviceBody::Step ProgDlg::ProgramBody::work(DeviceRun& run, int row) {
    const std::string name = RowLabel(dialog_, row);
    camera::CCamUpdate& link = *dialog_.camera;
    const bool emergency = dialog_.options.emergencyMode;
    // From here on the dialog's versions may no longer be what the camera holds.
    dialog_.versionsReadAfterRun = false;

    if (camera::ErasedBeforeWriting(row)) {
        dialog_.ShowStatus(withLabel("Erase Device %s", name));
        run.phase(row, RunPhase::kErase);
        const ErrorCode erased = camera::EraseDevice(link);
        if (erased != 0) {
            run.fail(row, erased, true);
            // Leave no device open behind, whatever state its flash is in.
            camera::CloseDevice(link);
            return {RunEnd::kFailed, WithContactLine("Error Erase Flash!\nPlease contact QEL AG!\n")};
        }
    }

    dialog_.ShowStatus(withLabel("Program Device %s", name));
    dialog_.SetCurrentFwText(row, protocol::kNoVersionText);
    dialog_.SetRowState(row, ROW_ACTIVE);
    run.phase(row, RunPhase::kWrite);
    const ErrorCode result =
        camera::ProgramDevice(link, row, dialog_.loaded, emergency, progress_, dialog_.waitHost());
    if (result == 0) {
        run.succeed(row, DeviceResult::kProgrammed);
        run.outcome(row).verified = camera::VerifiedWhileProgramming(row, emergency);
    } else {
        // Also when the Main uP's checksum step failed: its flash is not known to be good.
        run.fail(row, result, true);
    }
    return {};
}

// One programming run over the dialog's rows: the window title and status around the device
// loop, and the status that sums up what it did.
class ProgDlg::ProgramRun {
public:
    explicit ProgramRun(ProgDlg& dialog) : dialog_(dialog) {}
    bool run();

private:
    // "Main FPGA, PLL": the rows whose outcome passes `test`.
    // With `checkedOnly`, only the rows checked for this run.
    template <typename Test>
    std::string labels(Test test, bool checkedOnly = false) const;
    // "Programming failed for Main FPGA, PLL! ", what those still need, and `tail`; just `tail`
    // when nothing failed.
    std::string endStatus(const std::string& tail) const;

    ProgDlg& dialog_;
};

bool ProgDlg::ProgramRun::run() {
    char title[128];
    std::snprintf(title, sizeof title, "%s / DO NOT UNPLUG OR SWITCH OFF!!", ProgramTitle);
    dialog_.model.windowTitle = title;
    dialog_.programmingRun = true;
    dialog_.ShowStatus("Program Device(s)");
    dialog_.DisableAllControls();

    const bool emergency = dialog_.options.emergencyMode;
    dialog_.versionsReadAfterRun = dialog_.lastCameraInfoResult;
    std::vector<int> rows;
    for (int row = 0; row < kRowCount; ++row)
        if (dialog_.IsDeviceChecked(row))
            rows.push_back(row);
    ProgramBody body(dialog_);
    DeviceRun loop(dialog_, body);
    const RunEnd end = loop.run(rows);

    dialog_.programmingRun = false;
    bool result = true;
    switch (end) {
        case RunEnd::kStopped:
            dialog_.ShowStatus(endStatus(
                "Programming stopped before " +
                labels([&](const DeviceOutcome& o) { return o.result == DeviceResult::kNotRun; },
                       true) +
                ". " + kLoadOrSelect));
            dialog_.RefreshControls();
            break;
        case RunEnd::kCompleted:
        case RunEnd::kEndedQuietly:
            dialog_.ShowStatus(endStatus(kLoadOrSelect));
            dialog_.RefreshControls();
            break;
        case RunEnd::kFailed:
        case RunEnd::kCameraSilent:
            result = false;
            dialog_.ShowStatus(endStatus(""));
            break;
        case RunEnd::kCloseFailed:
            dialog_.ShowStatus(endStatus(""));
            break;
        case RunEnd::kCameraLost:
            result = false;
            dialog_.ShowStatus(endStatus(kConnectionLost));
            break;
    }
    dialog_.model.windowTitle = std::string(emergency ? ProgramTitleEmergency : ProgramTitle) + " ";
    dialog_.Changed();
    loop.finished(result);
    return result;
}

template <typename Test>
std::string ProgDlg::ProgramRun::labels(Test test, bool checkedOnly) const {
    std::string names;
    for (int row = 0; row < kRowCount; ++row) {
        if (!test(dialog_.deviceResults[size_t(row)]) ||
            (checkedOnly && !dialog_.IsDeviceChecked(row)))
            continue;
        if (!names.empty())
            names += ", ";
        names += RowLabel(dialog_, row);
    }
    return names;
}

std::string ProgDlg::ProgramRun::endStatus(const std::string& tail) const {
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

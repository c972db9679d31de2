#pragma once
// The device loop of the programming run, the backup and the verify: for each chosen device in
// row order it asks for a stop at the safe point, opens the device, lets the run's body work on
// it, closes it and reboots the camera, as the camera expects after a device was opened. Each
// device's result goes to `ProgDlg::deviceResults`, each step to the run observer. What a run
// does with an opened device, and what it does around the steps, is its body's.

#include <memory>
#include <string>
#include <vector>

#include "programmer/app/prog_dlg.h"
#include "programmer/camera/flash_device.h"

namespace app {

enum class RunEnd {
    kCompleted,
    kEndedQuietly,  // a device the camera may lack could not be opened
    kFailed,        // an open or the body failed and ended the run
    kCloseFailed,
    kCameraSilent,  // the camera did not answer after a device was closed
    kCameraLost,    // the camera did not come back after its reboot
    kStopped,       // the stop request ended the run at a safe point
};

class DeviceRun;

// One run's part of the loop. The hooks are called in the order they are declared.
class DeviceBody {
public:
    struct Rules {
        int openAttempts;
        // Shown when a device cannot be opened (then the run ends).
        std::string openFailedText;
        // The result is final before the close (a read); otherwise only once the device was
        // closed (a write that the close may not have kept).
        bool resultBeforeClose;
        // After a failure only Quit stays enabled; the rows keep their colours.
        bool onlyQuitAfterFailure;
    };
    struct Step {
        RunEnd end = RunEnd::kCompleted;
        std::string message;  // shown when the step ends the run
    };

    explicit DeviceBody(Rules rules) : rules(std::move(rules)) {}
    virtual ~DeviceBody() = default;

    // Before the device is touched: a nonzero code leaves it out (it fails with that code) and
    // the run goes on.
    virtual protocol::ErrorCode leaveOut(int /*row*/) { return 0; }
    virtual void opening(int /*row*/) {}
    // A device the camera may lack: when it cannot be opened the run ends quietly there.
    virtual bool mayBeMissing(int /*row*/) const { return false; }
    // Works on the opened device and records its result through `run`.
    virtual Step work(DeviceRun& run, int row) = 0;
    virtual void closeFailed(DeviceRun& /*run*/, int /*row*/, protocol::ErrorCode /*error*/) {}
    virtual Step closed(int /*row*/) { return {}; }
    virtual void rebooting(int /*row*/) {}
    virtual void rebooted(int /*row*/) {}

    const Rules rules;
};

class DeviceRun {
public:
    DeviceRun(ProgDlg& dialog, DeviceBody& body) : dialog_(dialog), body_(body) {}

    // Runs the loop over `rows` (ascending); the first end other than kCompleted ends it. The
    // machine is kept from sleeping and shutting down meanwhile, until the run ends or its
    // failure is about to be shown.
    RunEnd run(const std::vector<int>& rows);

    // For the body: the steps the observer hears and the device's result.
    void phase(int row, RunPhase step);
    DeviceOutcome& outcome(int row) { return dialog_.deviceResults[size_t(row)]; }
    void succeed(int row, DeviceResult result);
    void fail(int row, protocol::ErrorCode error, bool incomplete = false);
    // Tells the observer how the whole run ended.
    void finished(bool result);

private:
    RunEnd devices(const std::vector<int>& rows);
    RunEnd device(int row);
    void report(int row);
    RunEnd end(RunEnd end, const std::string& message);

    ProgDlg& dialog_;
    DeviceBody& body_;
    std::unique_ptr<platform::RunGuard> guard_;
};

// Progress of a device's transfer, shown in its row's bar.
class RowProgress : public camera::ProgressSink {
public:
    explicit RowProgress(ProgDlg& dialog) : dialog_(dialog) {}
    void setProgress(int row, int percent) override { dialog_.SetProgress(row, percent); }

private:
    ProgDlg& dialog_;
};

// The devices a backup reads: checked and reported by the camera.
std::vector<int> CheckedAvailableDevices(const ProgDlg& dialog);

// The caption of a row as status texts show it (at most 20 characters).
std::string RowLabel(const ProgDlg& dialog, int row);

}  // namespace app

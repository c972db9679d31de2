#pragma once
// The device loop that the backup and the verify share: for each chosen device, open it (two
// attempts), read it, close it, wait for the camera and reboot it, as the camera expects after a
// device was opened. What is done with the opened device is the caller's.

#include <functional>
#include <string>
#include <vector>

#include "programmer/app/prog_dlg.h"
#include "programmer/camera/flash_device.h"

namespace app {

enum class ReadRunEnd { kCompleted, kOpenFailed, kCloseFailed, kCameraSilent, kCameraLost,
                        kStopped };

struct ReadRunTexts {
    const char* reading;     // status while a device is read, with %s for its caption
    const char* openFailed;  // message when a device cannot be opened
};

// Reads the opened device `row`; 0 when it was read completely.
using OpenDeviceReader = std::function<protocol::ErrorCode(int row)>;

// Runs the loop over `rows` (ascending). Each device ends in `dialog.lastRead` as kRead or
// kFailed with the reader's code, and its row turns green or red. The first open, close or
// camera failure ends the loop with the message of that failure; then all controls but Quit
// stay disabled. The dialog's run observer (if any) hears the phases open, read, close, reboot.
ReadRunEnd ReadDevicesOneByOne(ProgDlg& dialog, const std::vector<int>& rows,
                               const ReadRunTexts& texts, const OpenDeviceReader& read);

// Progress of a device read, shown in its row's bar.
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

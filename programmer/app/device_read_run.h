#pragma once
// The device loop as the backup and the verify run it: each chosen device is opened (two
// attempts), read and closed, and the camera rebooted. What is done with the opened device is
// the caller's.

#include <functional>
#include <vector>

#include "programmer/app/device_run.h"

namespace app {

struct ReadRunTexts {
    const char* reading;     // status while a device is read, with %s for its caption
    const char* openFailed;  // message when a device cannot be opened
};

// Reads the opened device `row`; 0 when it was read completely.
using OpenDeviceReader = std::function<protocol::ErrorCode(int row)>;

// Runs the loop over `rows` (ascending). Each device ends as kRead or kFailed with the reader's
// code, and its row turns green or red. The first open, close or camera failure ends the loop
// with the message of that failure; then all controls but Quit stay disabled. The dialog's run
// observer (if any) hears the phases open, read, close, reboot.
RunEnd ReadDevicesOneByOne(ProgDlg& dialog, const std::vector<int>& rows,
                           const ReadRunTexts& texts, const OpenDeviceReader& read);

}  // namespace app

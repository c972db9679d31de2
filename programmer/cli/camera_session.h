#pragma once
// One run of the main dialog for a camera command: the console host set up from the connection
// options, the log for --log, the real camera links, a direct connection, the command's steps.

#include <functional>
#include <iostream>
#include <string>

#include "programmer/app/prog_dlg.h"
#include "programmer/cli/connection_options.h"
#include "programmer/cli/console_host.h"
#include "programmer/cli/run_record.h"

namespace cli {

class CameraSession {
public:
    // `command` and `file` (the update file read or written) go into the run's record.
    explicit CameraSession(const ConnectionOptions& options, std::string command = "",
                           std::string file = "");

    // Connects and runs `steps` (see ConsoleHost::steps). Returns kExitUsage for options that
    // cannot work together, else what `steps` returned.
    int run(std::function<int(app::ProgDlg&)> steps);

    ConsoleHost host;
    // The run's record for --report, appended when the run ends.
    RunRecord record;
    // The -P mode the dialog starts in; file packet mode makes no connection.
    int packetMode = app::kPacketNormal;

private:
    const ConnectionOptions& options_;
};

}  // namespace cli

#pragma once
// Start-up and exit of the programmer: the command line, the log, the usage box or the main
// dialog run modally.

#include <functional>
#include <string>

#include "programmer/app/camera_factory.h"
#include "programmer/app/command_line.h"
#include "programmer/app/host.h"
#include "programmer/app/prog_log.h"

namespace app {

// Opens the log at `path` when the command line asked for it (-L) and writes its start line; a
// log that cannot be opened is told to `warn` (one line with its "\n") and logging stays off.
void OpenRequestedLog(const CommandLineRequest& request, const std::string& path,
                      const LocalTime& now, const std::function<void(const std::string&)>& warn);

class CMorvatApp {
public:
    CMorvatApp(Host& host, CameraFactory& factory) : host_(host), factory_(factory) {}

    // Start hook. `arguments`: the arguments after the program name joined by single blanks.
    // Shows the usage box or runs the main dialog until it closes; always false, so that the
    // application ends afterwards.
    bool InitInstance(const std::string& arguments);
    // Exit hook: writes the log's end line and closes it. Returns 0.
    int ExitInstance();

    // Where the log goes and which time it records; tests change them.
    std::string logPath = kLogFileName;
    std::function<LocalTime()> localTime = CurrentLocalTime;

    // The program's name in the header of a recording (-R).
    std::string program = "kelvoflash";

    // The main dialog's result of the last run (-1 when it did not run); not used by start-up.
    int mainDialogResult = -1;

private:
    Host& host_;
    CameraFactory& factory_;
};

}  // namespace app

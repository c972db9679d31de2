// kelvoflash.exe: the firmware programmer with its Win32 dialogs.

#include <windows.h>
#include <commctrl.h>

#include "platform/clock.h"
#include "platform/wide_text.h"
#include "programmer/app/cmorvat_app.h"
#include "programmer/app/command_line.h"
#include "programmer/app/default_camera_factory.h"
#include "programmer/app/prog_log.h"
#include "programmer/app/pumping_calls.h"
#include "programmer/win32/win32_host.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);

    platform::Clock& clock = platform::realClock();
    win32::Win32Host host(clock);
    app::LogPrintfSink log;
    app::DefaultCameraFactory factory(log, clock);
    // A telegram's wait runs on a helper thread while the windows go on answering.
    app::PumpingCalls calls([&host] { host.pumpMessages(); });
    factory.setCallRunner(&calls);
    app::CMorvatApp morvat(host, factory);
    // The dialogs run modally inside the start hook; the program ends when it returns.
    // The command line in UTF-16, whatever the ANSI code page: file names in any script.
    morvat.InitInstance(app::ArgumentsAfterExe(platform::narrow(GetCommandLineW())));
    morvat.ExitInstance();
    return 0;
}

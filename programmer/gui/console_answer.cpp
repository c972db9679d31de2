#include "programmer/gui/console_answer.h"

#include <cstdlib>
#include <string_view>

#include <CLI/CLI.hpp>

#include "programmer/app/cmorvat_app.h"
#include "programmer/app/command_line.h"
#include "programmer/app/prog_log.h"
#include "programmer/app/start_options.h"
#include "project_version.h"

namespace gui {

std::string ConsoleHelpText() {
    // The options are read by the programmer's own scan (app::ParseCommandLine); this only lays
    // out their descriptions like the help of kelvoflash-cli and camsim.
    CLI::App app{"kelvoflash: the camera firmware programmer with its dialogs", "kelvoflash"};
    app.set_help_flag("--help", "print this help and exit");
    const auto flag = [&app](const char* name, const std::string& help) {
        app.add_flag(name, help);
    };
    flag("--version", "print the program's version and exit");
    flag("-S", "connect without the connection dialog, with the\n"
               "-T and -B choices");
    app.add_option("-T", "interface type: 0 COM port (default), 2 Camera Link")->type_name("N");
    app.add_option("-B", "port number 0-8; 0 is the first COM port, whose\n"
                         "device is $QEL_COM1, else /dev/ttyS0")
        ->type_name("N");
    app.add_option("-N", "Camera Link serial library of the frame grabber\n"
                         "(e.g. clsersim for libclsersim.so)")
        ->type_name("NAME");
    flag("-E", "emergency mode: go on when no camera answers,\n"
               "accept update files whose variants or versions\n"
               "differ from the camera's, and program checked\n"
               "devices the camera does not report");
    flag("-L", "append a log of the session to prog_log.txt in\n"
               "the current folder");
    app.add_option("-P", "packet mode: 1 the Packet button takes a backup of\n"
                         "the checked devices, 2 it builds an update file\n"
                         "from device files")
        ->type_name("N");
    flag("-H", "show the usage box (printed here when there is no\n"
               "display); a '?' anywhere does the same");
    app.footer("An option is a dash and a letter in either case with its value attached: -S -T0\n"
               "-B0, -P2, -L-E. Without -P the main dialog opens the connection dialog first.\n"
               "Against the simulated camera:\n"
               "  camsim --link /tmp/camera0 --ignore-stdin &\n"
               "  QEL_COM1=/tmp/camera0 kelvoflash -S -T0 -B0");
    return app.help();
}

std::optional<int> AnswerOnConsole(int argc, const char* const* argv, bool haveDisplay,
                                   std::ostream& out, std::ostream& err) {
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--version") {
            out << "kelvoflash " << KF_PROJECT_VERSION << "\n";
            return 0;
        }
        if (std::string_view(argv[i]) == "--help") {
            out << ConsoleHelpText();
            return 0;
        }
    }
    if (haveDisplay) return std::nullopt;
    app::StartOptions scratch;
    const app::CommandLineRequest request =
        app::ParseCommandLine(app::ArgumentsAfterProgramName(argc, argv), scratch);
    if (request.helpRequested) {
        // The start-up of the usage box, with the text printed: -L logs it from start to end.
        app::OpenRequestedLog(request, app::kLogFileName, app::CurrentLocalTime(),
                              [&err](const std::string& text) { err << text; });
        out << app::UsageText() << "\n";
        app::CloseLog(app::CurrentLocalTime());
        return 0;
    }
    err << "kelvoflash: no display to open the dialogs on (DISPLAY and WAYLAND_DISPLAY are not "
           "set); kelvoflash-cli does the same work on the console\n";
    return 1;
}

bool HaveDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return true;
    }
    return false;
}

}  // namespace gui

// kelvoflash: the firmware programmer with its Qt dialogs.

#include <QApplication>
#include <iostream>

#include "platform/clock.h"
#include "programmer/app/cmorvat_app.h"
#include "programmer/app/command_line.h"
#include "programmer/app/default_camera_factory.h"
#include "programmer/app/prog_log.h"
#include "programmer/app/pumping_calls.h"
#include "programmer/gui/console_answer.h"
#include "programmer/gui/application_setup.h"
#include "programmer/gui/qt_host.h"

int main(int argc, char* argv[]) {
    // Version and help need no window; without a display the usage goes to the console too.
    const auto answered =
        gui::AnswerOnConsole(argc, argv, gui::HaveDisplay(), std::cout, std::cerr);
    if (answered) return *answered;
    QApplication application(argc, argv);
    gui::setUpApplication(application);

    platform::Clock& clock = platform::realClock();
    gui::QtHost host(clock);
    app::LogPrintfSink log;
    app::DefaultCameraFactory factory(log, clock);
    // A telegram's wait runs on a helper thread while the windows go on answering.
    app::PumpingCalls calls([&host] { host.pumpMessages(); });
    factory.setCallRunner(&calls);
    app::CMorvatApp morvat(host, factory);
    // The dialogs run modally inside the start hook; the program ends when it returns.
    morvat.InitInstance(app::ArgumentsAfterProgramName(argc, argv));
    morvat.ExitInstance();
    return 0;
}

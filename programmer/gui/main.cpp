// kelvoflash: the firmware programmer with its Qt dialogs.

#include <QApplication>

#include "platform/clock.h"
#include "programmer/app/cmorvat_app.h"
#include "programmer/app/command_line.h"
#include "programmer/app/default_camera_factory.h"
#include "programmer/app/prog_log.h"
#include "programmer/gui/application_setup.h"
#include "programmer/gui/qt_host.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    gui::setUpApplication(application);

    platform::Clock& clock = platform::realClock();
    gui::QtHost host(clock);
    app::LogPrintfSink log;
    app::DefaultCameraFactory factory(log, clock);
    app::CMorvatApp morvat(host, factory);
    // The dialogs run modally inside the start hook; the program ends when it returns.
    morvat.InitInstance(app::ArgumentsAfterProgramName(argc, argv));
    morvat.ExitInstance();
    return 0;
}

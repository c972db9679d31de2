#pragma once
// kelvoflash's front end set up in the test's own process, with camsim on COM1 and the shared
// fast clock.

#include <QApplication>
#include <string>
#include <vector>

#include "camsim_fixture.h"
#include "gui_driver.h"
#include "programmer/app/cmorvat_app.h"
#include "programmer/app/default_camera_factory.h"
#include "programmer/app/prog_log.h"
#include "programmer/gui/main_dialog.h"
#include "programmer/gui/qt_host.h"

namespace guitest {

class CamsimFrontEnd : public testsupport::CamsimFixture {
protected:
    void startCamsim(std::vector<std::string> options) {
        options.insert(options.end(), {"--serial", "1234"});
        CamsimFixture::startCamsim(options);
    }

    // The main dialog is up and no flow runs on it.
    bool mainIdle() {
        main = host.mainDialog();
        return main != nullptr && main->isVisible() && !main->busy() &&
               host.connectionDialog() == nullptr && QApplication::activeModalWidget() == main;
    }

    gui::QtHost host{clock};
    app::LogPrintfSink log;
    app::DefaultCameraFactory factory{log, clock};
    app::CMorvatApp morvat{host, factory};
    Driver driver;
    gui::MainDialog* main = nullptr;
};

}  // namespace guitest

#pragma once
// kelvoflash's front end set up in the test's own process, with camsim on COM1.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <string>
#include <vector>

#include "gui_driver.h"
#include "platform/clock.h"
#include "programmer/app/cmorvat_app.h"
#include "programmer/app/default_camera_factory.h"
#include "programmer/app/prog_log.h"
#include "programmer/gui/main_dialog.h"
#include "programmer/gui/qt_host.h"
#include "tools/camsim_process.h"

namespace guitest {

// Fixed waits (15 s of boot after a reboot) pass twenty times faster; the serial I/O is real time.
class FastClock : public platform::Clock {
public:
    platform::Milliseconds now() const override { return platform::realClock().now() + skipped_; }
    void sleepFor(platform::Milliseconds duration) override {
        platform::realClock().sleepFor(duration / 20);
        skipped_ += duration - duration / 20;
    }

private:
    platform::Milliseconds skipped_{0};
};

class CamsimFrontEnd : public ::testing::Test {
protected:
    void SetUp() override {
        if (access(camsimBinary.c_str(), X_OK) != 0)
            GTEST_SKIP() << "camsim not built";
    }
    void TearDown() override { unsetenv("QEL_COM1"); }

    void startCamsim(std::vector<std::string> options) {
        options.insert(options.end(),
                       {"--serial", "1234", "--boot-time", "200", "--erase-time", "20"});
        ASSERT_TRUE(camsim.start(camsimBinary, options));
        setenv("QEL_COM1", camsim.portPath().c_str(), 1);
    }

    // The main dialog is up and no flow runs on it.
    bool mainIdle() {
        main = host.mainDialog();
        return main != nullptr && main->isVisible() && !main->busy() &&
               host.connectionDialog() == nullptr && QApplication::activeModalWidget() == main;
    }

    const std::string camsimBinary = std::string(KF_BINARY_DIR) + "/bin/camsim";
    tools::CamsimProcess camsim;
    FastClock clock;
    gui::QtHost host{clock};
    app::LogPrintfSink log;
    app::DefaultCameraFactory factory{log, clock};
    app::CMorvatApp morvat{host, factory};
    Driver driver;
    gui::MainDialog* main = nullptr;
};

}  // namespace guitest

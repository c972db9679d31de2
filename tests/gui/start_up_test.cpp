// Start-up paths of the real front end that need no camera: the usage box and a direct
// connection that cannot be made, shown as Qt message boxes.

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "gui_driver.h"
#include "platform/clock.h"
#include "programmer/app/cmorvat_app.h"
#include "programmer/app/command_line.h"
#include "programmer/app/default_camera_factory.h"
#include "programmer/app/prog_log.h"
#include "programmer/gui/qt_host.h"
#include "tools/temp_folder.h"

namespace {

using guitest::Driver;
using guitest::openMessageBox;

// What kelvoflash's main() sets up, for one run in this process.
struct Programmer {
    Programmer() { guitest::application(); }
    platform::Clock& clock = platform::realClock();
    gui::QtHost host{clock};
    app::LogPrintfSink log;
    app::DefaultCameraFactory factory{log, clock};
    app::CMorvatApp morvat{host, factory};
};

struct SeenBox {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
};

// A step that reads the open message box and presses its button.
void answerBox(Driver& driver, SeenBox& seen, const std::string& screenshot = "") {
    driver.step(
        "message box", [] { return openMessageBox() != nullptr; },
        [&seen, screenshot] {
            QMessageBox* box = openMessageBox();
            if (box == nullptr)
                return;
            seen = {box->windowTitle(), box->text(), box->icon(), box->standardButtons()};
            if (!screenshot.empty())
                guitest::saveScreenshot(*box, screenshot);
            box->done(QMessageBox::Ok);
        },
        true);
}

TEST(StartUp, HelpShowsTheUsageBoxOnly) {
    Programmer programmer;
    Driver driver;
    SeenBox seen;
    answerBox(driver, seen, "usage_box.png");
    driver.start();
    EXPECT_FALSE(programmer.morvat.InitInstance("-S -T0 -H"));
    EXPECT_TRUE(driver.finished()) << driver.pending();
    EXPECT_EQ(seen.title, "qel.programmer Information");
    EXPECT_EQ(seen.text, QString::fromLatin1(app::UsageText().c_str()));
    EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
    EXPECT_EQ(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(programmer.morvat.mainDialogResult, -1) << "the main dialog must not run";
}

TEST(StartUp, DirectConnectionThatFailsWarnsAndEnds) {
    tools::TempFolder folder;
    setenv("QEL_COM1", folder.path("no-such-port").c_str(), 1);
    const std::pair<const char*, const char*> cases[] = {
        {"-S -T0 -B0", "Cannot connect camera\nChange parameters and try again\n"},
        {"-S -T1", "Wrong interface type\n,Change parameters and try again\n"}};
    for (const auto& [arguments, warning] : cases) {
        Programmer programmer;
        Driver driver;
        SeenBox seen;
        answerBox(driver, seen);
        driver.start();
        programmer.morvat.InitInstance(arguments);
        EXPECT_TRUE(driver.finished()) << arguments << ": " << driver.pending();
        EXPECT_EQ(seen.text, QString::fromLatin1(warning)) << arguments;
        EXPECT_EQ(seen.icon, QMessageBox::Warning);
        EXPECT_EQ(seen.title, "kelvoflash") << "the application's caption";
        EXPECT_EQ(programmer.morvat.mainDialogResult, 0);
        EXPECT_EQ(programmer.host.mainDialog(), nullptr);
    }
    unsetenv("QEL_COM1");
}

}  // namespace

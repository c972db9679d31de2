// Start-up paths of the real front end that need no camera: the usage box, a direct connection
// that cannot be made, and file packet mode.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <cstdlib>

#include "gui_driver.h"
#include "platform/clock.h"
#include "programmer/app/cmorvat_app.h"
#include "programmer/app/command_line.h"
#include "programmer/app/default_camera_factory.h"
#include "programmer/app/prog_log.h"
#include "programmer/gui/main_dialog.h"
#include "programmer/gui/qt_host.h"
#include "tests/camera/camsim_process.h"

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
    QString title;
    QString text;
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
    camera::test::TempFolder folder;
    const std::string missingPort = folder.path() + "/no-such-port";
    setenv("QEL_COM1", missingPort.c_str(), 1);
    struct Case {
        const char* arguments;
        const char* warning;
    };
    for (const Case& c :
         {Case{"-S -T0 -B0", "Cannot connect camera\nChange parameters and try again\n"},
          Case{"-S -T1", "Wrong interface type\n,Change parameters and try again\n"}}) {
        Programmer programmer;
        Driver driver;
        SeenBox seen;
        answerBox(driver, seen);
        driver.start();
        programmer.morvat.InitInstance(c.arguments);
        EXPECT_TRUE(driver.finished()) << c.arguments << ": " << driver.pending();
        EXPECT_EQ(seen.text, QString::fromLatin1(c.warning)) << c.arguments;
        EXPECT_EQ(seen.icon, QMessageBox::Warning);
        EXPECT_EQ(seen.title, "kelvoflash") << "the application's caption";
        EXPECT_EQ(programmer.morvat.mainDialogResult, 0);
        EXPECT_EQ(programmer.host.mainDialog(), nullptr);
    }
    unsetenv("QEL_COM1");
}

TEST(StartUp, FilePacketModeWaitsForTheUserAndEnterQuits) {
    Programmer programmer;
    Driver driver;
    gui::MainDialog* window = nullptr;
    QString status;
    QString packetCaption;
    QString packetAfterRightClick;
    std::vector<bool> checksEnabled;
    driver.step(
        "main dialog",
        [&] {
            window = programmer.host.mainDialog();
            return window != nullptr && window->isVisible() && !window->busy();
        },
        [&] {
            status = window->statusLine()->text();
            packetCaption = window->button(app::kIdPacket)->text();
            for (int row = 0; row < app::kRowCount; ++row)
                checksEnabled.push_back(window->checkBox(row)->isEnabled());
            // A right click on Packet asks for the other packet mode; with no camera it stays.
            QPushButton* packet = window->button(app::kIdPacket);
            const QPointF inside(packet->rect().center());
            QMouseEvent press(QEvent::MouseButtonPress, inside, packet->mapToGlobal(inside),
                              Qt::RightButton, Qt::RightButton, Qt::NoModifier);
            QMouseEvent release(QEvent::MouseButtonRelease, inside, packet->mapToGlobal(inside),
                                Qt::RightButton, Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(packet, &press);
            QApplication::sendEvent(packet, &release);
        });
    driver.step(
        "after the right click", [] { return true; },
        [&] {
            packetAfterRightClick = window->button(app::kIdPacket)->text();
            if (QWidget* focus = QApplication::focusWidget())
                focus->clearFocus();
            QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
            QApplication::sendEvent(window, &enter);
        });
    driver.start();
    programmer.morvat.InitInstance("-P2");
    EXPECT_TRUE(driver.finished()) << driver.pending();
    EXPECT_TRUE(driver.unexpectedBoxes.empty());
    EXPECT_EQ(status, "Select Devices and create Packet from Device Files, or close programmer");
    EXPECT_EQ(packetCaption, "FilePacket");
    EXPECT_EQ(packetAfterRightClick, "FilePacket");
    EXPECT_EQ(checksEnabled, std::vector<bool>(app::kRowCount, true));
    EXPECT_EQ(programmer.morvat.mainDialogResult, 0) << "Enter runs Quit, which ends with 0";
}

}  // namespace

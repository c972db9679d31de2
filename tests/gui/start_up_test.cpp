// The usage box of the real front end, shown as a Qt message box before any connection.
// A direct connection that cannot be made is followed in tests/app.

#include <gtest/gtest.h>

#include <QApplication>

#include "gui_driver.h"
#include "platform/clock.h"
#include "programmer/app/cmorvat_app.h"
#include "programmer/app/command_line.h"
#include "programmer/app/default_camera_factory.h"
#include "programmer/app/prog_log.h"
#include "programmer/gui/qt_host.h"

namespace {

TEST(StartUp, HelpShowsTheUsageBoxOnly) {
    guitest::application();
    gui::QtHost host{platform::realClock()};
    app::LogPrintfSink log;
    app::DefaultCameraFactory factory{log, platform::realClock()};
    app::CMorvatApp morvat{host, factory};
    guitest::Driver driver;
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::Warning;
    QMessageBox::StandardButtons buttons;
    driver.step(
        "usage box", [] { return guitest::openMessageBox() != nullptr; },
        [&] {
            QMessageBox* box = guitest::openMessageBox();
            if (box == nullptr)
                return;
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            buttons = box->standardButtons();
            guitest::saveScreenshot(*box, "usage_box.png");
            box->done(QMessageBox::Ok);
        },
        true);
    driver.start();
    EXPECT_FALSE(morvat.InitInstance("-S -T0 -H"));
    EXPECT_TRUE(driver.finished()) << driver.pending();
    EXPECT_EQ(title, "qel.programmer Information");
    EXPECT_EQ(text, QString::fromLatin1(app::UsageText().c_str()));
    EXPECT_EQ(icon, QMessageBox::NoIcon);
    EXPECT_EQ(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(morvat.mainDialogResult, -1) << "the main dialog must not run";
}

}  // namespace

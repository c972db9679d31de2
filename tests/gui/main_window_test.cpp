// The main dialog's window while a flow runs on it: rows repaint before the flow goes on, and
// neither a click nor closing the window starts a second flow inside the running one.

#include <gtest/gtest.h>

#include <QApplication>

#include "gui_driver.h"
#include "platform/clock.h"
#include "programmer/app/default_camera_factory.h"
#include "programmer/app/prog_dlg.h"
#include "programmer/app/prog_log.h"
#include "programmer/gui/main_dialog.h"
#include "programmer/gui/qt_host.h"

namespace {

class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
};

TEST(MainWindow, RowsRepaintAtOnceAndTheRunningFlowCannotBeInterrupted) {
    platform::VirtualClock clock;
    gui::QtHost host(clock);
    app::LogPrintfSink log;
    app::DefaultCameraFactory factory(log, clock);
    app::ProgDlg dialog(host, factory);
    dialog.options.packetMode = app::kPacketFile;  // no connection at start

    guitest::Driver driver;
    gui::MainDialog* window = nullptr;
    PaintCounter counter;
    int paintsBefore = 0, paintsAfterSetRowState = 0;
    QColor doneColour;
    bool endedByClose = true, endedByQuitClick = true;
    driver.step(
        "main dialog",
        [&] {
            window = host.mainDialog();
            return window != nullptr && window->isVisible() && !window->busy();
        },
        [&] {
            window->progressBar(2)->installEventFilter(&counter);
            // Plays a flow: while it runs, the events it pumps must not end the dialog.
            window->act([&] {
                paintsBefore = counter.paints;
                dialog.SetRowState(2, app::ROW_DONE);
                paintsAfterSetRowState = counter.paints;
                const QImage bar = window->progressBar(2)->grab().toImage();
                doneColour = bar.pixelColor(bar.width() / 2, bar.height() / 2);

                window->close();
                host.pumpMessages();
                endedByClose = dialog.model.ended;
                window->button(app::kIdQuit)->click();
                endedByQuitClick = dialog.model.ended;
            });
            window->button(app::kIdQuit)->click();
        });
    driver.start();
    const int result = host.runMainDialog(dialog);

    ASSERT_TRUE(driver.finished()) << driver.pending();
    EXPECT_GT(paintsAfterSetRowState, paintsBefore) << "painted before the flow went on";
    EXPECT_EQ(doneColour.rgb(), QColor(0, 255, 0).rgb());
    EXPECT_FALSE(endedByClose);
    EXPECT_FALSE(endedByQuitClick);
    EXPECT_EQ(result, 0) << "Quit after the flow ended the dialog";
    EXPECT_TRUE(dialog.model.ended);
}

}  // namespace

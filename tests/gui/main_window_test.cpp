// The main dialog's widgets: the row bars' colours, the file filter, and the window while a flow
// runs on it: rows repaint before the flow goes on, and neither a click nor closing the window
// starts a second flow inside the running one.

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>

#include "gui_driver.h"
#include "platform/clock.h"
#include "programmer/app/default_camera_factory.h"
#include "programmer/app/dialog_model.h"
#include "programmer/app/prog_dlg.h"
#include "programmer/app/prog_log.h"
#include "programmer/gui/file_filter.h"
#include "programmer/gui/main_dialog.h"
#include "programmer/gui/qt_host.h"
#include "programmer/gui/row_progress_bar.h"

namespace {

// Every pixel of the bar, border included, carries the state's colour.
bool filledWith(QWidget& widget, const QColor& colour) {
    const QImage image = widget.grab().toImage();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y).rgb() != colour.rgb())
                return false;
    return image.width() > 0;
}

TEST(RowProgressBar, StatesPaintTheWholeBarOrShowTheProgress) {
    gui::RowProgressBar bar;
    bar.resize(200, 24);
    bar.setValue(100);

    EXPECT_TRUE(filledWith(bar, QColor(160, 160, 160))) << "idle";
    bar.setRowState(app::ROW_DONE);
    EXPECT_TRUE(filledWith(bar, QColor(0, 255, 0))) << "done";
    bar.setRowState(app::ROW_FAILED);
    EXPECT_TRUE(filledWith(bar, QColor(255, 0, 0))) << "failed";
    bar.setRowState(0x1234);  // a state no flow sets reads as idle rather than as progress
    EXPECT_TRUE(filledWith(bar, QColor(160, 160, 160)));

    // Active: the bar itself with its position, so not filled with one colour.
    bar.setRowState(app::ROW_ACTIVE);
    const QImage full = bar.grab().toImage();
    for (const QColor& fill : {QColor(160, 160, 160), QColor(0, 255, 0), QColor(255, 0, 0)})
        EXPECT_FALSE(filledWith(bar, fill));
    bar.setValue(0);
    EXPECT_NE(bar.grab().toImage(), full) << "the position shows while active";
}

TEST(FileFilter, WindowsFormBecomesQtForm) {
    EXPECT_EQ(gui::qtFileFilter("Intel HEX|*.hex;*.eep|All files|*.*||"),
              "Intel HEX (*.hex *.eep);;All files (*.*)");
}

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
    EXPECT_FALSE(endedByClose);
    EXPECT_FALSE(endedByQuitClick);
    EXPECT_EQ(result, 0) << "Quit after the flow ended the dialog";
    EXPECT_TRUE(dialog.model.ended);
}

}  // namespace

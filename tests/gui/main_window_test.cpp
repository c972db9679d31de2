// The main dialog's widgets: the row bars' colours, the file filter, and the window while a flow
// runs on it: rows repaint before the flow goes on, and neither a click nor closing the window
// starts a second flow inside the running one.

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMessageBox>

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

// The pixels of the bar, border included, that do not carry `colour`; -1 for an empty image.
int otherPixels(QWidget& widget, const QColor& colour) {
    const QImage image = widget.grab().toImage();
    int other = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) other += image.pixelColor(x, y).rgb() != colour.rgb();
    return image.width() > 0 ? other : -1;
}

TEST(RowProgressBar, StatesPaintTheWholeBarOrShowTheProgress) {
    gui::RowProgressBar bar;
    bar.resize(200, 24);
    bar.setValue(100);

    // Done and failed carry a word over their colour, so that they differ without colour.
    const struct {
        uint32_t state;
        QColor colour;
        const char* word;
    } cases[] = {
        {app::ROW_IDLE, QColor(160, 160, 160), ""},
        {app::ROW_DONE, QColor(0, 255, 0), "done"},
        {app::ROW_FAILED, QColor(255, 0, 0), "failed"},
        {0x1234, QColor(160, 160, 160), ""},  // a state no flow sets reads as idle
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.word);
        bar.setRowState(c.state);
        EXPECT_EQ(gui::RowProgressBar::stateWord(c.state), QString(c.word));
        const QImage image = bar.grab().toImage();
        for (const QPoint corner : {QPoint(0, 0), QPoint(199, 0), QPoint(0, 23), QPoint(199, 23)})
            EXPECT_EQ(image.pixelColor(corner).rgb(), c.colour.rgb());
        const int other = otherPixels(bar, c.colour);
        EXPECT_TRUE(*c.word ? other > 0 && other < 200 * 24 / 4 : other == 0) << other;
    }

    // Active: the bar itself with its position, so not filled with one colour.
    bar.setRowState(app::ROW_ACTIVE);
    const QImage full = bar.grab().toImage();
    for (const QColor& fill : {QColor(160, 160, 160), QColor(0, 255, 0), QColor(255, 0, 0)})
        EXPECT_NE(otherPixels(bar, fill), 0);
    bar.setValue(0);
    EXPECT_NE(bar.grab().toImage(), full) << "the position shows while active";
}

TEST(FileFilter, WindowsFormBecomesQtForm) {
    EXPECT_EQ(gui::qtFileFilter("Intel HEX|*.hex;*.eep|All files|*.*||"),
              "Intel HEX (*.hex *.eep);;All files (*.*)");
}

struct PaintCounter : QObject {
    bool eventFilter(QObject* watched, QEvent* event) override {
        paints += event->type() == QEvent::Paint;
        return QObject::eventFilter(watched, event);
    }
    int paints = 0;
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
                const int paintsBefore = counter.paints;
                dialog.SetRowState(2, app::ROW_DONE);
                EXPECT_GT(counter.paints, paintsBefore) << "painted before the flow went on";
                window->close();
                host.pumpMessages();
                EXPECT_FALSE(dialog.model.ended) << "closed";
                EXPECT_NE(window->findChild<QMessageBox*>("closeRefused"), nullptr)
                    << "the refused close says why";
                window->button(app::kIdQuit)->click();
                EXPECT_FALSE(dialog.model.ended) << "Quit clicked";
            });
            window->button(app::kIdQuit)->click();
        });
    driver.start();
    EXPECT_EQ(host.runMainDialog(dialog), 0) << "Quit after the flow ended the dialog";
    ASSERT_TRUE(driver.finished()) << driver.pending();
    EXPECT_TRUE(dialog.model.ended);
}

}  // namespace

#include <gtest/gtest.h>

#include <QImage>

#include "gui_driver.h"
#include "programmer/app/dialog_model.h"
#include "programmer/gui/file_filter.h"
#include "programmer/gui/row_progress_bar.h"

namespace {

QRgb centreOf(QWidget& widget) {
    const QImage image = widget.grab().toImage();
    return image.pixelColor(image.width() / 2, image.height() / 2).rgb();
}

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
    guitest::application();
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

    // Active: the bar itself, full at 100 %, so neither of the state colours.
    bar.setRowState(app::ROW_ACTIVE);
    const QRgb active = centreOf(bar);
    for (const QColor& fill : {QColor(160, 160, 160), QColor(0, 255, 0), QColor(255, 0, 0)})
        EXPECT_NE(active, fill.rgb());
    bar.setValue(0);
    EXPECT_NE(centreOf(bar), active) << "the position shows while active";
}

TEST(FileFilter, WindowsFormBecomesQtForm) {
    EXPECT_EQ(gui::qtFileFilter("Intel HEX|*.hex;*.eep|All files|*.*||"),
              "Intel HEX (*.hex *.eep);;All files (*.*)");
    EXPECT_EQ(gui::qtFileFilter("update file (*.qup)|*.qup||"), "update file (*.qup)");
}

}  // namespace

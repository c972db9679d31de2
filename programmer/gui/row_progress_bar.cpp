#include "programmer/gui/row_progress_bar.h"

#include <QPainter>

#include "programmer/app/dialog_model.h"

namespace gui {

RowProgressBar::RowProgressBar(QWidget* parent) : QProgressBar(parent) {
    setRange(0, 100);
    setValue(0);
    setTextVisible(true);
}

void RowProgressBar::setRowState(uint32_t state) {
    if (state == state_)
        return;
    state_ = state;
    update();
}

QColor RowProgressBar::fillColour(uint32_t state) {
    switch (state) {
        case app::ROW_ACTIVE:
            return {};
        case app::ROW_DONE:
            return QColor(0, 255, 0);
        case app::ROW_FAILED:
            return QColor(255, 0, 0);
        default:
            return QColor(160, 160, 160);  // idle, and any state the flows do not name
    }
}

void RowProgressBar::paintEvent(QPaintEvent* event) {
    const QColor colour = fillColour(state_);
    if (!colour.isValid()) {
        QProgressBar::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.fillRect(rect(), colour);
    // A word as well, so that done and failed differ without telling green from red.
    const QString word = stateWord(state_);
    if (!word.isEmpty()) {
        painter.setPen(Qt::black);
        painter.drawText(rect(), Qt::AlignCenter, word);
    }
}

QString RowProgressBar::stateWord(uint32_t state) {
    switch (state) {
        case app::ROW_DONE:
            return QStringLiteral("done");
        case app::ROW_FAILED:
            return QStringLiteral("failed");
        default:
            return {};
    }
}

}  // namespace gui

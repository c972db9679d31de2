#include "programmer/gui/row_progress_bar.h"

#include <QPainter>

#include "programmer/app/row_look.h"

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
    const app::RowLook look = app::RowLookOf(state);
    return look.filled ? QColor(look.red, look.green, look.blue) : QColor();
}

void RowProgressBar::paintEvent(QPaintEvent* event) {
    const QColor colour = fillColour(state_);
    if (!colour.isValid()) {
        QProgressBar::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.fillRect(rect(), colour);
    const QString word = stateWord(state_);
    if (!word.isEmpty()) {
        painter.setPen(Qt::black);
        painter.drawText(rect(), Qt::AlignCenter, word);
    }
}

QString RowProgressBar::stateWord(uint32_t state) {
    return QString::fromUtf8(app::RowLookOf(state).word);
}

}  // namespace gui

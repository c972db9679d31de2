#include "programmer/gui/packet_push_button.h"

#include <QMouseEvent>

namespace gui {

void PacketPushButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton && rect().contains(event->position().toPoint())) {
        emit rightClicked();
    }
    QPushButton::mouseReleaseEvent(event);
}

}  // namespace gui

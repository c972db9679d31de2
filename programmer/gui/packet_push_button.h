#pragma once
// The Packet button: a push button that also reports a right click (released over the button).

#include <QPushButton>

namespace gui {

class PacketPushButton : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;

signals:
    void rightClicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace gui

#pragma once
// The Packet button's own behaviour: a right click asks the main dialog to switch the packet mode.

namespace app {

class Host;
class ProgDlg;

class CPacket {
public:
    explicit CPacket(Host& host) : host_(host) {}
    // The dialog that receives WM_TOGGLE_PACKET_MODE (set at the dialog's initialisation).
    void Attach(ProgDlg* dialog) { parentWindow_ = dialog; }

    // Right button released over the button: posts WM_TOGGLE_PACKET_MODE (wParam 1004, lParam 0)
    // to the dialog. A disabled button takes no clicks, so it posts nothing.
    void OnRButtonUp();

private:
    Host& host_;
    ProgDlg* parentWindow_ = nullptr;
};

}  // namespace app

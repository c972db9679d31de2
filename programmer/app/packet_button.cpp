#include "programmer/app/packet_button.h"

#include "programmer/app/control_ids.h"
#include "programmer/app/host.h"
#include "programmer/app/prog_dlg.h"

namespace app {

void CPacket::OnRButtonUp() {
    if (parentWindow_ == nullptr || !parentWindow_->Model().isEnabled(kIdPacket)) return;
    ProgDlg* dialog = parentWindow_;
    host_.post([dialog] { dialog->OnMessage(WM_TOGGLE_PACKET_MODE, kIdPacket, 0); });
}

}  // namespace app

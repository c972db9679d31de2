#include "programmer/win32/connection_window.h"

#include "platform/wide_text.h"
#include "programmer/app/control_ids.h"
#include "programmer/app/start_options.h"
#include "programmer/win32/resource.h"

namespace win32 {

bool ConnectionWindow::onInit() {
    setIcons();
    if (HMENU menu = GetSystemMenu(window(), FALSE)) {
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(menu, MF_STRING, app::kIdAboutBox,
                    platform::widen(app::kAboutMenuEntry).c_str());
    }
    return true;
}

void ConnectionWindow::render() {
    const app::DialogModel& m = model();
    setTitle(m.windowTitle);
    for (const int id : {app::kIdRadioComPort, app::kIdRadioCameraLink}) {
        if (!m.caption(id).empty())
            setText(id, m.caption(id));
        setEnabled(id, m.isEnabled(id));
        setChecked(id, m.isChecked(id));
    }
    const app::Control& list = m.control(app::kIdPortList);
    HWND ports = GetDlgItem(window(), app::kIdPortList);
    if (list.items != shownPorts_) {
        SendMessageW(ports, CB_RESETCONTENT, 0, 0);
        for (const std::string& item : list.items)
            SendMessageW(ports, CB_ADDSTRING, 0,
                         reinterpret_cast<LPARAM>(platform::widen(item).c_str()));
        shownPorts_ = list.items;
    }
    if (SendMessageW(ports, CB_GETCURSEL, 0, 0) != list.selected)
        SendMessageW(ports, CB_SETCURSEL, WPARAM(list.selected), 0);
    setEnabled(app::kIdPortList, list.enabled);
    for (const int id : {app::kIdConnect, app::kIdOk, app::kIdCancel}) {
        if (!m.caption(id).empty())
            setText(id, m.caption(id));
        setEnabled(id, m.isEnabled(id));
    }
    setText(app::kIdConnectionStatus, m.caption(app::kIdConnectionStatus));
}

bool ConnectionWindow::onCommand(int id, int notification) {
    const auto enabled = [this, id] { return model().isEnabled(id); };
    switch (id) {
        case app::kIdRadioComPort:
        case app::kIdRadioCameraLink:
            if (notification == BN_CLICKED && enabled()) {
                const int type = id == app::kIdRadioComPort ? app::kInterfaceComPort
                                                            : app::kInterfaceCameraLink;
                act([this, type] { dialog_.OnInterfaceType(type); });
            }
            return true;
        case app::kIdPortList:
            if (notification == CBN_SELCHANGE) {
                const int index = int(SendDlgItemMessageW(window(), id, CB_GETCURSEL, 0, 0));
                act([this, index] { dialog_.OnPortSelected(index); });
            }
            return true;
        case app::kIdConnect:
            if (notification == BN_CLICKED && enabled()) act([this] { dialog_.OnConnect(); });
            return true;
        case app::kIdOk:  // also Enter
            if (enabled()) act([this] { dialog_.OnOK(); });
            return true;
        case app::kIdCancel:  // also Escape
            act([this] { dialog_.OnCancel(); });
            return true;
        default:
            return false;
    }
}

bool ConnectionWindow::onMessage(UINT message, WPARAM wParam, LPARAM, INT_PTR& result) {
    switch (message) {
        case WM_SYSCOMMAND:
            // The about entry's number (104, 0x68) has bits in the low four that Windows keeps
            // for itself in its own commands, so it is compared whole.
            if (wParam != app::kIdAboutBox)
                return false;  // the default handling
            act([this, wParam] { dialog_.OnSysCommand(unsigned(wParam)); });
            result = TRUE;
            return true;
        case WM_CLOSE:
            act([this] { dialog_.OnCancel(); });
            result = TRUE;
            return true;
        default:
            return false;
    }
}

}  // namespace win32

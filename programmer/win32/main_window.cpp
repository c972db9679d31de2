#include "programmer/win32/main_window.h"

#include <commctrl.h>

#include "platform/wide_text.h"
#include "programmer/app/control_ids.h"
#include "programmer/app/row_look.h"
#include "programmer/win32/resource.h"

namespace win32 {

namespace {
constexpr int kButtons[] = {app::kIdSelectPort, app::kIdLoadFile, app::kIdProgram,
                            app::kIdPacket,     app::kIdReboot,   app::kIdQuit};
constexpr UINT_PTR kSubclassId = 1;
}  // namespace

bool MainWindow::onInit() {
    setIcons();
    for (int row = 0; row < app::kRowCount; ++row) {
        HWND bar = GetDlgItem(window(), app::progressId(row));
        SendMessageW(bar, PBM_SETRANGE32, 0, 100);
        SendMessageW(bar, PBM_SETSTEP, 5, 0);
        SetWindowSubclass(bar, progressBarProcedure, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
        bars_[row] = bar;
        shownRowState_[row] = app::ROW_IDLE;
        shownPosition_[row] = 0;
    }
    SetWindowSubclass(GetDlgItem(window(), app::kIdPacket), packetButtonProcedure, kSubclassId,
                      reinterpret_cast<DWORD_PTR>(this));
    return true;
}

void MainWindow::render() {
    const app::DialogModel& m = model();
    setTitle(m.windowTitle);
    for (const int id : kButtons) {
        if (!m.caption(id).empty())
            setText(id, m.caption(id));
        setEnabled(id, m.isEnabled(id));
    }
    for (int row = 0; row < app::kRowCount; ++row) {
        const app::Control& check = m.control(app::checkBoxId(row));
        if (!check.caption.empty())
            setText(app::checkBoxId(row), check.caption);
        setEnabled(app::checkBoxId(row), check.enabled);
        setChecked(app::checkBoxId(row), check.checked);
        setText(app::currentFwId(row), m.caption(app::currentFwId(row)));
        setText(app::loadedFwId(row), m.caption(app::loadedFwId(row)));
        const int position = m.control(app::progressId(row)).position;
        if (shownPosition_[row] != position) {
            shownPosition_[row] = position;
            SendMessageW(bars_[row], PBM_SETPOS, WPARAM(position), 0);
        }
        const uint32_t state = m.rowState[size_t(row)];
        if (shownRowState_[row] != state) {
            shownRowState_[row] = state;
            InvalidateRect(bars_[row], nullptr, TRUE);
        }
    }
    setText(app::kIdStatusLine, m.caption(app::kIdStatusLine));
}

void MainWindow::repaintNow() {
    // render() has invalidated what changed (a row's bar, a text); only that is painted.
    render();
    RedrawWindow(window(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

bool MainWindow::onCommand(int id, int notification) {
    if (notification != BN_CLICKED)
        return false;
    const auto enabled = [this, id] { return model().isEnabled(id); };
    switch (id) {
        case app::kIdSelectPort:
            if (enabled()) act([this] { dialog_.OnSelectPort(); });
            return true;
        case app::kIdLoadFile:
            if (enabled()) act([this] { dialog_.OnLoadFile(); });
            return true;
        case app::kIdProgram:
            if (enabled()) act([this] { dialog_.OnProgram(); });
            return true;
        case app::kIdPacket:
            if (enabled()) act([this] { dialog_.OnPacket(); });
            return true;
        case app::kIdReboot:
            if (enabled()) act([this] { dialog_.OnReboot(); });
            return true;
        case app::kIdQuit:  // also Enter
            if (enabled()) act([this] { dialog_.OnQuit(); });
            return true;
        case IDCANCEL:  // Escape
            act([this] { dialog_.OnCancel(); });
            return true;
        default:
            break;
    }
    if (id >= app::kIdCheckBase && id < app::kIdCheckBase + app::kRowCount) {
        const bool checked = !model().isChecked(id);
        const int row = id - app::kIdCheckBase;
        if (enabled()) act([this, row, checked] { dialog_.CheckDevice(row, checked); });
        return true;
    }
    return false;
}

bool MainWindow::onMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
    switch (message) {
        case WM_TOGGLE_PACKET_MODE:
            act([this, message, wParam, lParam] { dialog_.OnMessage(message, wParam, lParam); });
            result = TRUE;
            return true;
        case WM_CLOSE:
            act([this] { dialog_.OnClose(); });
            result = TRUE;
            return true;
        default:
            return false;
    }
}

// The Packet button: a right click, while the button is enabled, posts the dialog the switch of
// the packet mode as a window message of its own (0x8064, wParam the button's id).
LRESULT CALLBACK MainWindow::packetButtonProcedure(HWND button, UINT message, WPARAM wParam,
                                                   LPARAM lParam, UINT_PTR, DWORD_PTR reference) {
    auto* self = reinterpret_cast<MainWindow*>(reference);
    if (message == WM_RBUTTONUP && self->model().isEnabled(app::kIdPacket))
        PostMessageW(self->window(), WM_TOGGLE_PACKET_MODE, app::kIdPacket, 0);
    if (message == WM_NCDESTROY)
        RemoveWindowSubclass(button, packetButtonProcedure, kSubclassId);
    return DefSubclassProc(button, message, wParam, lParam);
}

LRESULT CALLBACK MainWindow::progressBarProcedure(HWND bar, UINT message, WPARAM wParam,
                                                  LPARAM lParam, UINT_PTR, DWORD_PTR reference) {
    const auto* self = reinterpret_cast<const MainWindow*>(reference);
    const int row = GetDlgCtrlID(bar) - app::kIdProgressBase;
    switch (message) {
        case WM_PAINT:
            if (self->paintRow(bar, row))
                return 0;
            break;
        case WM_ERASEBKGND:
            if (app::RowLookOf(self->model().rowState[size_t(row)]).filled)
                return 1;
            break;
        case WM_NCDESTROY:
            RemoveWindowSubclass(bar, progressBarProcedure, kSubclassId);
            break;
        default:
            break;
    }
    return DefSubclassProc(bar, message, wParam, lParam);
}

bool MainWindow::paintRow(HWND bar, int row) const {
    const app::RowLook look = app::RowLookOf(model().rowState[size_t(row)]);
    if (!look.filled)
        return false;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(bar, &paint);
    RECT area;
    GetClientRect(bar, &area);
    // A brush of the state's colour for this row alone.
    HBRUSH brush = CreateSolidBrush(RGB(look.red, look.green, look.blue));
    FillRect(dc, &area, brush);
    DeleteObject(brush);
    if (look.word[0] != '\0') {
        HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HGDIOBJ>(
                                               SendMessageW(window(), WM_GETFONT, 0, 0)));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(0, 0, 0));
        DrawTextW(dc, platform::widen(look.word).c_str(), -1, &area,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        SelectObject(dc, oldFont);
    }
    EndPaint(bar, &paint);
    return true;
}

}  // namespace win32

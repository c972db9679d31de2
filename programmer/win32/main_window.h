#pragma once
// The main dialog (resource 106): the five device rows, the buttons and the status line. The rows'
// progress bars are painted by state; a right click on the Packet button goes to the dialog's
// CPacket, which posts the mode switch.

#include "programmer/app/prog_dlg.h"
#include "programmer/win32/dialog_window.h"

namespace win32 {

class MainWindow : public DialogWindow {
public:
    explicit MainWindow(app::ProgDlg& dialog) : DialogWindow(dialog.Model()), dialog_(dialog) {}

    void render() override;
    // Shows the model and paints what changed before returning (a row changed its state).
    void repaintNow();

    app::ProgDlg& dialog() { return dialog_; }

private:
    bool onInit() override;
    bool onCommand(int id, int notification) override;
    bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
    void afterFailure() override { dialog_.AfterFailure(); }

    static LRESULT CALLBACK packetButtonProcedure(HWND button, UINT message, WPARAM wParam,
                                                  LPARAM lParam, UINT_PTR, DWORD_PTR reference);
    static LRESULT CALLBACK progressBarProcedure(HWND bar, UINT message, WPARAM wParam,
                                                 LPARAM lParam, UINT_PTR, DWORD_PTR reference);
    // Paints the bar of `row` by its state; false while the row is active (the bar paints itself).
    bool paintRow(HWND bar, int row) const;

    app::ProgDlg& dialog_;
    // The rows' progress bars, and the state and position each shows.
    HWND bars_[app::kRowCount] = {};
    uint32_t shownRowState_[app::kRowCount] = {};
    int shownPosition_[app::kRowCount] = {};
};

}  // namespace win32

#pragma once
// The connection dialog (resource 102): interface type, port list, Connect, the status text, OK
// and Cancel; its system menu leads to the about box.

#include <string>
#include <vector>

#include "programmer/app/cmorvat_dlg.h"
#include "programmer/win32/dialog_window.h"

namespace win32 {

class ConnectionWindow : public DialogWindow {
public:
    explicit ConnectionWindow(app::CMorvatDlg& dialog)
        : DialogWindow(dialog.model), dialog_(dialog) {}

    void render() override;

private:
    bool onInit() override;
    bool onCommand(int id, int notification) override;
    bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

    app::CMorvatDlg& dialog_;
    std::vector<std::string> shownPorts_;
};

}  // namespace win32

#pragma once
// The host of the flows on Windows: task-modal message boxes, the common file dialogs, the message
// pump, posting through the dialog's message queue, and the two dialogs from the resource script.

#include <windows.h>
#include <commdlg.h>

#include "programmer/app/host.h"

namespace win32 {

class ConnectionWindow;
class DialogWindow;
class MainWindow;

class Win32Host : public app::Host {
public:
    explicit Win32Host(platform::Clock& clock) : clock_(clock) {}

    void messageBox(const std::string& text, const std::string& caption,
                    app::BoxIcon icon) override;
    bool askYesNo(const std::string& text, const std::string& caption) override;
    bool askYesNoWithoutIcon(const std::string& text) override;
    std::optional<std::string> openFileDialog(const app::FileDialogRequest& request) override;
    std::optional<std::string> saveFileDialog(const app::FileDialogRequest& request) override;

    void pumpMessages() override;
    void repaintNow(const app::DialogModel& model) override;
    void modelChanged(const app::DialogModel& model) override;
    void post(std::function<void()> event) override;
    platform::Clock& clock() override { return clock_; }

    int runConnectionDialog(app::CMorvatDlg& dialog) override;
    int runMainDialog(app::ProgDlg& dialog) override;
    void showAboutBox(const std::string& title, const std::string& text) override;

private:
    DialogWindow* windowOf(const app::DialogModel& model) const;
    // The innermost dialog that runs (the owner of the file dialogs), or none.
    HWND topWindow() const;
    int box(const std::string& text, const std::string& caption, UINT style);
    std::optional<std::string> fileDialog(const app::FileDialogRequest& request, bool save);
    // Runs the file dialog on a thread of its own while this one handles the windows' messages;
    // true when the user chose a file.
    bool askOnOwnThread(OPENFILENAMEW& dialog, bool save);

    platform::Clock& clock_;
    MainWindow* main_ = nullptr;
    ConnectionWindow* connection_ = nullptr;
};

}  // namespace win32

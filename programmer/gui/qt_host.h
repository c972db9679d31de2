#pragma once
// The host of the flows in the Qt front end: message boxes, file dialogs, the event pump, posted
// events and the two dialog windows.

#include "programmer/app/host.h"

class QWidget;

namespace gui {

class ConnectionDialog;
class MainDialog;
class ModelDialog;

class QtHost : public app::Host {
public:
    explicit QtHost(platform::Clock& clock) : clock_(clock) {}

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

    // The dialog windows while they run, else null (for tests and the boxes' placement).
    MainDialog* mainDialog() const { return main_; }
    ConnectionDialog* connectionDialog() const { return connection_; }

private:
    ModelDialog* windowOf(const app::DialogModel& model) const;
    // A Yes/No box with a QMessageBox::Icon; true for Yes.
    bool askQuestion(const std::string& text, const std::string& caption, int icon);
    // The window the boxes are centred on: the innermost dialog that runs.
    QWidget* topWindow() const;

    platform::Clock& clock_;
    MainDialog* main_ = nullptr;
    ConnectionDialog* connection_ = nullptr;
};

}  // namespace gui

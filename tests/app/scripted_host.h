#pragma once
// Plays the user: scripted answers, file names and connection dialog; virtual time; boxes recorded.

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "programmer/app/cmorvat_dlg.h"
#include "programmer/app/host.h"
#include "programmer/app/prog_dlg.h"

namespace apptest {

struct Box {
    std::string text;
    std::string caption;
    app::BoxIcon icon = app::BoxIcon::None;
    bool question = false;
};

class ScriptedHost : public app::Host {
public:
    void messageBox(const std::string& text, const std::string& caption,
                    app::BoxIcon icon) override {
        boxesWhileGuarded += guardsHeld > 0;
        boxes.push_back({text, caption, icon, false});
    }
    bool askYesNo(const std::string& text, const std::string& caption) override {
        boxesWhileGuarded += guardsHeld > 0;
        boxes.push_back({text, caption, app::BoxIcon::Warning, true});
        if (answers.empty())
            return false;
        const bool yes = answers.front();
        answers.pop_front();
        return yes;
    }
    std::optional<std::string> openFileDialog(const app::FileDialogRequest&) override {
        if (files.empty())
            return std::nullopt;
        auto name = files.front();
        files.pop_front();
        return name;
    }
    bool askYesNoWithoutIcon(const std::string& text) override {
        const bool yes = askYesNo(text, "");
        boxes.back().icon = app::BoxIcon::None;
        return yes;
    }
    std::optional<std::string> saveFileDialog(const app::FileDialogRequest& request) override {
        saveRequests.push_back(request);
        if (saveFiles.empty())
            return std::nullopt;
        auto name = saveFiles.front();
        saveFiles.pop_front();
        return name;
    }
    void pumpMessages() override {
        if (onPump)
            onPump();
    }
    void repaintNow(const app::DialogModel&) override {}
    void modelChanged(const app::DialogModel&) override {}
    void post(std::function<void()> event) override { posted.push_back(std::move(event)); }
    platform::Clock& clock() override { return *clockInUse; }
    // Counts the holds; the system's own is taken only where a test asks for it.
    std::unique_ptr<platform::RunGuard> guardRun() override {
        struct Counted : platform::RunGuard {
            Counted(int& held, std::unique_ptr<platform::RunGuard> system)
                : held(held), system(std::move(system)) {}
            ~Counted() override { --held; }
            int& held;
            std::unique_ptr<platform::RunGuard> system;
        };
        ++guardsTaken;
        ++guardsHeld;
        return std::make_unique<Counted>(guardsHeld, systemGuard ? app::Host::guardRun() : nullptr);
    }

    int runConnectionDialog(app::CMorvatDlg& dialog) override {
        ++connectionDialogs;
        dialog.OnInitDialog();
        if (connectionScript)
            connectionScript(dialog);
        if (!dialog.model.ended)
            dialog.OnCancel();
        return dialog.model.result;
    }
    int runMainDialog(app::ProgDlg& dialog) override {
        ++mainDialogs;
        dialog.OnInitDialog();
        if (!dialog.Model().ended)
            runPosted();
        if (!dialog.Model().ended)
            dialog.OnQuit();
        posted.clear();
        return dialog.Model().result;
    }
    void showAboutBox(const std::string& title, const std::string& text) override {
        boxes.push_back({text, title, app::BoxIcon::None, false});
    }

    void runPosted() {
        while (!posted.empty()) {
            auto event = std::move(posted.front());
            posted.pop_front();
            event();
        }
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> all;
        for (const auto& box : boxes)
            all.push_back(box.text);
        return all;
    }

    static std::function<void(app::CMorvatDlg&)> connectAndOk(int type, int port) {
        return [=](app::CMorvatDlg& dialog) {
            dialog.OnInterfaceType(type);
            dialog.OnPortSelected(port);
            dialog.OnConnect();
            dialog.OnOK();
        };
    }

    platform::VirtualClock virtualClock;
    platform::Clock* clockInUse = &virtualClock;
    std::vector<Box> boxes;
    std::deque<bool> answers;
    std::deque<std::optional<std::string>> files;
    std::deque<std::optional<std::string>> saveFiles;
    std::vector<app::FileDialogRequest> saveRequests;
    std::deque<std::function<void()>> posted;
    std::function<void(app::CMorvatDlg&)> connectionScript;
    std::function<void()> onPump;
    bool systemGuard = false;
    int guardsTaken = 0, guardsHeld = 0, boxesWhileGuarded = 0;
    int connectionDialogs = 0;
    int mainDialogs = 0;
};

}  // namespace apptest

#pragma once
// The host of the flows on the console: messages go to stderr (and are kept for the reports),
// questions are answered by --yes/--no or asked on an interactive terminal; there are no file
// dialogs (the commands name their files through the dialog's flows). The main dialog runs its
// initialisation (a direct connection), then the command's steps, then Quit.

#include <deque>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "programmer/app/host.h"

namespace cli {

enum class Answer { kAsk, kYes, kNo };

class ConsoleHost : public app::Host {
public:
    // `err` receives the messages and questions; `in` the answers typed on a terminal.
    ConsoleHost(platform::Clock& clock, std::ostream& err, std::istream& in, bool interactive);

    void messageBox(const std::string& text, const std::string& caption,
                    app::BoxIcon icon) override;
    // Yes/No from `answer`; kAsk prompts only when `interactive`, else answers No and says so.
    bool askYesNo(const std::string& text, const std::string& caption) override;
    // A file dialog is cancelled at once.
    std::optional<std::string> openFileDialog(const app::FileDialogRequest&) override {
        return std::nullopt;
    }
    std::optional<std::string> saveFileDialog(const app::FileDialogRequest&) override {
        return std::nullopt;
    }

    // Nothing waits for events on the console.
    void pumpMessages() override {}
    void repaintNow(const app::DialogModel& model) override { modelChanged(model); }
    void modelChanged(const app::DialogModel& model) override;
    void post(std::function<void()> event) override { posted_.push_back(std::move(event)); }
    platform::Clock& clock() override { return clock_; }

    // The console front end always connects directly; a connection dialog is cancelled at once.
    int runConnectionDialog(app::CMorvatDlg& dialog) override;
    int runMainDialog(app::ProgDlg& dialog) override;
    void showAboutBox(const std::string& title, const std::string& text) override;

    Answer answer = Answer::kAsk;
    // Run after the main dialog's initialisation, also when that ended the dialog (then the
    // dialog must not be driven further). Its result lands in `stepsResult`.
    std::function<int(app::ProgDlg&)> steps;
    int stepsResult = 0;
    // Called whenever the dialog's model changed (progress, row states, status line).
    std::function<void(const app::DialogModel&)> onModelChanged;
    // Called before anything is written to `err`, so that a progress line can end first.
    std::function<void()> beforeOutput;
    // Called with every message and question text (UTF-8), after it was written.
    std::function<void(const std::string&)> onMessage;

    // A message of the command itself (UTF-8), shown and kept like the flows' messages.
    void note(const std::string& text) { show(text); }

    // Every message and question shown so far, UTF-8, without trailing line feeds.
    const std::vector<std::string>& messages() const { return messages_; }

private:
    void show(const std::string& text);
    void runPosted();

    platform::Clock& clock_;
    std::ostream& err_;
    std::istream& in_;
    bool interactive_;
    std::vector<std::string> messages_;
    std::deque<std::function<void()>> posted_;
};

// Text without the line feeds that message box texts end in.
std::string withoutTrailingNewlines(std::string text);

}  // namespace cli

#include "programmer/cli/console_host.h"

#include <istream>
#include <ostream>

#include "programmer/app/cmorvat_dlg.h"
#include "programmer/app/prog_dlg.h"

namespace cli {

std::string withoutTrailingNewlines(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

ConsoleHost::ConsoleHost(platform::Clock& clock, std::ostream& err, std::istream& in,
                         bool interactive)
    : clock_(clock), err_(err), in_(in), interactive_(interactive) {}

void ConsoleHost::show(const std::string& text) {
    if (beforeOutput)
        beforeOutput();
    err_ << text << "\n" << std::flush;
    messages_.push_back(text);
    if (onMessage)
        onMessage(text);
}

void ConsoleHost::messageBox(const std::string& text, const std::string& caption, app::BoxIcon) {
    const std::string body = withoutTrailingNewlines(text);
    show(caption.empty() ? body : caption + ": " + body);
}

bool ConsoleHost::askYesNo(const std::string& text, const std::string&) {
    const std::string question = withoutTrailingNewlines(text);
    if (answer != Answer::kAsk) {
        const bool yes = answer == Answer::kYes;
        show(question + (yes ? " [answered Yes by --yes]" : " [answered No by --no]"));
        return yes;
    }
    if (!interactive_) {
        show(question + " [answered No: standard input is not a terminal; use --yes or --no]");
        return false;
    }
    if (beforeOutput)
        beforeOutput();
    err_ << question << " [y/N] " << std::flush;
    std::string line;
    const bool yes = static_cast<bool>(std::getline(in_, line)) &&
                     (line == "y" || line == "Y" || line == "yes" || line == "Yes");
    messages_.push_back(question + (yes ? " [Yes]" : " [No]"));
    if (onMessage)
        onMessage(messages_.back());
    return yes;
}

void ConsoleHost::modelChanged(const app::DialogModel& model) {
    if (onModelChanged)
        onModelChanged(model);
}

int ConsoleHost::runConnectionDialog(app::CMorvatDlg& dialog) {
    dialog.OnInitDialog();
    if (!dialog.model.ended)
        dialog.OnCancel();
    return dialog.model.result;
}

int ConsoleHost::runMainDialog(app::ProgDlg& dialog) {
    dialog.OnInitDialog();
    if (!dialog.Model().ended)
        runPosted();
    stepsResult = steps ? steps(dialog) : 0;
    if (!dialog.Model().ended)
        dialog.OnQuit();
    posted_.clear();
    return dialog.Model().result;
}

void ConsoleHost::showAboutBox(const std::string& title, const std::string& text) {
    show(title + ": " + withoutTrailingNewlines(text));
}

void ConsoleHost::runPosted() {
    while (!posted_.empty()) {
        auto event = std::move(posted_.front());
        posted_.pop_front();
        event();
    }
}

}  // namespace cli

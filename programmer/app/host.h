#pragma once
// What the flows need of a person or a toolkit. The Qt front end, the console front end and the
// scripted host of the tests implement it; the flows never touch a toolkit themselves.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/clock.h"
#include "platform/run_guard.h"

namespace app {

class CMorvatDlg;
class DialogModel;
class ProgDlg;

enum class BoxIcon { None, Warning };

// A file open or save dialog: title, filter (e.g. "qel.update file (*.qup)"), default extension
// without the dot, and the name it starts with.
struct FileDialogRequest {
    std::string title;
    std::string filter;
    std::string defaultExtension;
    std::string initialName;
    // Whether the toolkit asks before an existing file is chosen in a save dialog; off where
    // the flow asks itself.
    bool confirmOverwrite = true;
};

class Host {
public:
    virtual ~Host() = default;

    // Task-modal message box with an OK button. An empty caption means the toolkit's default.
    virtual void messageBox(const std::string& text, const std::string& caption, BoxIcon icon) = 0;
    // Task-modal Yes/No question with the warning icon; true for Yes.
    virtual bool askYesNo(const std::string& text, const std::string& caption) = 0;
    // The same question without an icon (the overwrite question of the packet flows).
    virtual bool askYesNoWithoutIcon(const std::string& text) { return askYesNo(text, ""); }
    // The chosen path, or nothing when the user cancels.
    virtual std::optional<std::string> openFileDialog(const FileDialogRequest& request) = 0;
    virtual std::optional<std::string> saveFileDialog(const FileDialogRequest& request) = 0;

    // Handles pending window events for at most 100 ms (the long flows call it between steps).
    virtual void pumpMessages() = 0;
    // A row state changed: repaint the rows now, before the flow goes on.
    virtual void repaintNow(const DialogModel& model) = 0;
    // Something in the model changed; show it when convenient.
    virtual void modelChanged(const DialogModel& model) = 0;
    // Runs `event` later on the user-interface thread, after the current handler returned (a
    // posted window message). Events still queued when the posting dialog ends are dropped.
    virtual void post(std::function<void()> event) = 0;
    virtual platform::Clock& clock() = 0;
    // Keeps the machine from sleeping or shutting down while devices are written or read; the
    // hold ends with the returned object.
    virtual std::unique_ptr<platform::RunGuard> guardRun() { return platform::guardRun(); }

    // Runs the dialog modally: calls its OnInitDialog, then its handlers as the user acts, until
    // its model says it ended. Returns the dialog's result.
    virtual int runConnectionDialog(CMorvatDlg& dialog) = 0;
    virtual int runMainDialog(ProgDlg& dialog) = 0;
    // The connection dialog's about box: title, then its lines.
    virtual void showAboutBox(const std::string& title, const std::string& text) = 0;

    // Shorthands for the boxes the flows show.
    void warning(const std::string& text) { messageBox(text, "", BoxIcon::Warning); }
};

}  // namespace app

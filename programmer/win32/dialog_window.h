#pragma once
// A Win32 dialog from the resource script that shows a flow's DialogModel and runs the flow's
// handlers for the user's actions, one at a time (app::HandlerQueue). One subclass per dialog
// fills its controls from the model and maps control ids to the flow's handlers.

#include <windows.h>

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "programmer/app/dialog_model.h"
#include "programmer/app/handler_queue.h"

namespace win32 {

class DialogWindow {
public:
    explicit DialogWindow(const app::DialogModel& model) : model_(model), handlers_(model) {}
    virtual ~DialogWindow() = default;
    DialogWindow(const DialogWindow&) = delete;
    DialogWindow& operator=(const DialogWindow&) = delete;

    // Runs the dialog `resource` modally over `owner`; `init` runs once the dialog is on screen.
    // Returns the model's result.
    int run(HWND owner, int resource, std::function<void()> init);

    HWND window() const { return window_; }
    const app::DialogModel& model() const { return model_; }
    // Brings the controls in line with the model.
    virtual void render() = 0;

    // Runs `handler` unless one runs already or the dialog has ended; then shows the model and
    // closes the dialog when the handler ended it.
    void act(const std::function<void()>& handler);
    // Runs `event` after the current handler, through the dialog's message queue.
    void post(std::function<void()> event);

protected:
    // The dialog's own messages; true when handled.
    virtual bool onInit() { return true; }
    virtual bool onCommand(int id, int notification) = 0;
    virtual bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result);
    // A handler threw: bring the controls to the state its flow leaves when it ends.
    virtual void afterFailure() {}

    // Control helpers that change a control only when the model differs from what it shows (no
    // flicker). What a control shows is remembered from the last change made here, not asked of
    // the control: none of our controls changes itself, and under Wine every question to a
    // window costs a round trip to the server, dozens of them per look at the model.
    void setText(int id, const std::string& text);
    void setEnabled(int id, bool enabled);
    void setChecked(int id, bool checked);
    void setTitle(const std::string& title);
    // The program icon: the large one for Alt+Tab, the small one for the caption, each loaded
    // from the image of its own size so that none is scaled.
    void setIcons();

private:
    static INT_PTR CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    // Close, Escape or Alt-F4 while a flow runs: the window stays and says why.
    void closeRefused();
    // Shows the model after a handler ran, ends the dialog when it ended, wakes for posted events.
    void afterHandler(app::HandlerQueue::Outcome outcome);

    const app::DialogModel& model_;
    app::HandlerQueue handlers_;
    HWND window_ = nullptr;
    std::function<void()> init_;
    // What the controls show, by control id, as last set; empty for a new window.
    std::map<int, std::string> shownText_;
    std::map<int, bool> shownEnabled_;
    std::map<int, bool> shownChecked_;
    std::optional<std::string> shownTitle_;
};

}  // namespace win32

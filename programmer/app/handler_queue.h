#pragma once
// Runs a dialog's handlers one at a time, for every front end: the flows pump window events
// while they work, so a second click must not start a flow inside the first, and events posted
// to the dialog run after the current handler, never once the dialog has ended.

#include <deque>
#include <functional>
#include <string>

#include "programmer/app/dialog_model.h"

namespace app {

// What every front end tells the user who tries to close a dialog (its Close button, Escape,
// Alt-F4) while a flow runs on it: the window stays and the run goes on.
constexpr const char* kCloseRefusedText =
    "The programmer is working with the camera and cannot be closed now: stopping in the middle "
    "could leave a device incomplete. Close it once the run has ended.";

// The box a front end shows when a handler threw `failure` (a program without a console cannot
// print it).
inline std::string FailureText(const std::string& failure) {
    return "The action failed unexpectedly: " + failure + "\n";
}

class HandlerQueue {
public:
    explicit HandlerQueue(const DialogModel& model) : model_(model) {}

    enum class Outcome { Refused, Ran, Ended };

    // Runs `handler` unless one is running or the dialog has ended. Ended: the handler ended the
    // dialog (queued events are dropped); the front end closes it with the model's result.
    Outcome act(const std::function<void()>& handler);
    // Queues `event`; true when no handler runs, so the front end should wake up to run it.
    bool post(std::function<void()> event);
    // Runs the next queued event, if any and no handler runs.
    Outcome runNextPosted();

    bool busy() const { return busy_; }
    bool hasPosted() const { return !posted_.empty(); }
    // What the last handler run threw, empty when it did not (nothing may be thrown through a
    // toolkit).
    const std::string& lastFailure() const { return lastFailure_; }

private:
    const DialogModel& model_;
    bool busy_ = false;
    std::deque<std::function<void()>> posted_;
    std::string lastFailure_;
};

}  // namespace app

#pragma once
// SIGINT, SIGTERM and SIGHUP during a run that writes or reads the camera's devices. The handler
// only counts and writes texts prepared beforehand (async-signal-safe); the run looks at the
// count at its safe points, between devices, once the camera has rebooted.
//  - Outside a run a signal ends the program at once: nothing is being written.
//  - The first signal in a run writes `firstText` and lets the run go on to its next safe point.
//  - A second signal writes `secondText` (and `secondJson` to standard output) and ends the
//    program at once with 128 + the first signal's number.
// SIGPIPE is ignored: a closed standard output fails the writes, the run goes on.

#include <functional>
#include <string>

#include <nlohmann/json.hpp>

#include "programmer/app/prog_dlg.h"
#include "programmer/cli/console_host.h"
#include "programmer/cli/run_reporter.h"

namespace cli {

namespace interruption {

void install();
// From now on every signal goes to `forward` instead (which may only do what a signal handler
// may) and the program goes on: a program whose cameras run in child processes passes each
// signal to each child, which stops at its own safe point.
void forwardSignals(void (*forward)(int signal));
// Whether a run is under way; outside one the handler ends the program at once.
void setRunning(bool running);
// The texts of the next signals, copied with the signals held back.
void setTexts(const std::string& firstText, const std::string& secondText,
              const std::string& secondJson);
// Signals received so far, and the first one's number (0 before any).
int count();
int firstSignal();
// 130 for SIGINT, 143 for SIGTERM, 129 for SIGHUP.
int exitStatus();
const char* signalName(int signal);

// The texts of the next signals in a run: "Interrupted: " + `firstCause` with the offer to stop at
// once, then "Stopped at once: " + `secondCause`; with `json` the second signal also writes
// `immediate` to standard output.
void setRunTexts(const std::string& firstCause, const std::string& secondCause,
                 const nlohmann::json& immediate, bool json);
// Runs `flow` (one of the dialog's runs over its devices) under the signals with the hooks it
// gets: `reporter` follows it, `prepare(row, finished)` sets the texts at each device step (first
// with -1, true) and the run stops at its next safe point once a signal came. Returns whether one
// came.
bool runInterruptible(RunReporter& reporter, std::function<void(int row, bool finished)> prepare,
                      const std::function<void(const app::RunHooks&)>& flow);
// After the summary of a run a signal stopped: the "interrupted" event with `details`, and
// "Interrupted by <signal>" + `how` on the console. Returns the exit status.
int reportInterrupted(RunReporter& reporter, ConsoleHost& host, nlohmann::json details,
                      const std::string& how);

}  // namespace interruption

}  // namespace cli

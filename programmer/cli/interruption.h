#pragma once
// SIGINT, SIGTERM and SIGHUP during a run that writes or reads the camera's devices. The handler
// only counts and writes texts prepared beforehand (async-signal-safe); the run looks at the
// count at its safe points, between devices, once the camera has rebooted.
//  - Outside a run a signal ends the program at once: nothing is being written.
//  - The first signal in a run writes `firstText` and lets the run go on to its next safe point.
//  - A second signal writes `secondText` (and `secondJson` to standard output) and ends the
//    program at once with 128 + the first signal's number.
// SIGPIPE is ignored: a closed standard output fails the writes, the run goes on.

#include <string>

namespace cli {

namespace interruption {

void install();
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

}  // namespace interruption

}  // namespace cli

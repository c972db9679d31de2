#pragma once
// The system's requests to stop the program, given to one handler with the number of the matching
// POSIX signal: Ctrl-C (SIGINT), a request to terminate (SIGTERM), the terminal or the console
// window closing (SIGHUP). On Linux these are the signals and the handler runs as a signal
// handler; on Windows the console control handler runs it on a thread of its own. Either way it
// may only do what a signal handler may.

namespace platform {

constexpr int kStopHangUp = 1;     // SIGHUP; Windows: the console window closes
constexpr int kStopInterrupt = 2;  // SIGINT; Windows: Ctrl-C
constexpr int kStopTerminate = 15; // SIGTERM; Windows: Ctrl-Break, log-off, shut-down

using StopHandler = void (*)(int request);

// Installs `handler` for the three requests. A closed pipe on standard output then fails the
// writes instead of ending the program.
void installStopHandler(StopHandler handler);

// Between hold and release the handler does not run; a request that comes meanwhile runs it
// on release. Not nested.
void holdStopRequests();
void releaseStopRequests();

}  // namespace platform

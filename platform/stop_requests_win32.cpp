#include <windows.h>

#include "platform/stop_requests.h"

namespace platform {

namespace {
StopHandler installed = nullptr;
// Held while the program changes what the handler reads; the handler takes it too, as it runs
// on the console's thread beside the program's.
CRITICAL_SECTION* handlerLock() {
    static struct Lock {
        Lock() { ::InitializeCriticalSection(&section); }
        CRITICAL_SECTION section;
    } lock;
    return &lock.section;
}

int requestOf(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
            return kStopInterrupt;
        case CTRL_CLOSE_EVENT:
            return kStopHangUp;
        default:  // Ctrl-Break, log-off, shut-down
            return kStopTerminate;
    }
}

BOOL WINAPI onConsoleEvent(DWORD event) {
    if (installed == nullptr)
        return FALSE;
    ::EnterCriticalSection(handlerLock());
    installed(requestOf(event));
    ::LeaveCriticalSection(handlerLock());
    // The program goes on to its next safe point. After a closed window Windows ends the
    // process once the handler returns, so that one waits for the program to end it.
    if (event == CTRL_CLOSE_EVENT)
        ::Sleep(INFINITE);
    return TRUE;
}
}  // namespace

void installStopHandler(StopHandler handler) {
    installed = handler;
    ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

void holdStopRequests() {
    ::EnterCriticalSection(handlerLock());
}

void releaseStopRequests() {
    ::LeaveCriticalSection(handlerLock());
}

}  // namespace platform

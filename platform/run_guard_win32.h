#pragma once
// The run guard on Windows. Its calls go through PowerApi, so that a test can play the system.

#include <windows.h>

#include <memory>

#include "platform/run_guard.h"

namespace platform {

class PowerApi {
public:
    virtual ~PowerApi() = default;
    virtual EXECUTION_STATE setThreadExecutionState(EXECUTION_STATE flags) = 0;
    virtual BOOL shutdownBlockReasonCreate(HWND window, LPCWSTR reason) = 0;
    virtual BOOL shutdownBlockReasonDestroy(HWND window) = 0;
};

// The system's own functions.
PowerApi& systemPowerApi();

// While the guard lives, the calling thread asks for ES_CONTINUOUS | ES_SYSTEM_REQUIRED and its
// visible top-level windows give kRunGuardReason for refusing the end of the session; after,
// the reasons are gone and the thread is back to ES_CONTINUOUS. Taken and let go on one thread.
std::unique_ptr<RunGuard> guardRun(PowerApi& api);

// The answer to WM_QUERYENDSESSION: no while a run is guarded.
bool endSessionAllowed();

}  // namespace platform

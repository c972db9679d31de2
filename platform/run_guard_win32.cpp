#include "platform/run_guard_win32.h"

#include <atomic>
#include <string>
#include <vector>

namespace platform {

namespace {

std::atomic<int> guardedRuns{0};

class SystemPowerApi : public PowerApi {
public:
    EXECUTION_STATE setThreadExecutionState(EXECUTION_STATE flags) override {
        return SetThreadExecutionState(flags);
    }
    BOOL shutdownBlockReasonCreate(HWND window, LPCWSTR reason) override {
        return ShutdownBlockReasonCreate(window, reason);
    }
    BOOL shutdownBlockReasonDestroy(HWND window) override {
        return ShutdownBlockReasonDestroy(window);
    }
};

class WindowsHold : public RunGuard {
public:
    explicit WindowsHold(PowerApi& api) : api_(api) {
        ++guardedRuns;
        api_.setThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
        EnumThreadWindows(GetCurrentThreadId(), block, reinterpret_cast<LPARAM>(this));
    }
    ~WindowsHold() override {
        for (HWND window : blocked_)
            api_.shutdownBlockReasonDestroy(window);
        api_.setThreadExecutionState(ES_CONTINUOUS);
        --guardedRuns;
    }

private:
    static BOOL CALLBACK block(HWND window, LPARAM hold) {
        static const std::wstring reason(kRunGuardReason,
                                         kRunGuardReason + sizeof kRunGuardReason - 1);
        auto* self = reinterpret_cast<WindowsHold*>(hold);
        if (IsWindowVisible(window) && self->api_.shutdownBlockReasonCreate(window, reason.c_str()))
            self->blocked_.push_back(window);
        return TRUE;
    }

    PowerApi& api_;
    std::vector<HWND> blocked_;
};

}  // namespace

PowerApi& systemPowerApi() {
    static SystemPowerApi api;
    return api;
}

std::unique_ptr<RunGuard> guardRun(PowerApi& api) { return std::make_unique<WindowsHold>(api); }

std::unique_ptr<RunGuard> guardRun() { return guardRun(systemPowerApi()); }

bool endSessionAllowed() { return guardedRuns == 0; }

}  // namespace platform

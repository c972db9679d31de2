// The run guard on Windows with a played system: what it asks of the system for the run and
// after, and the answer to the end of the session.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/run_guard_win32.h"

namespace {

using Calls = std::vector<std::string>;

// Records each call; `window` is the test's window.
struct PlayedPower : platform::PowerApi {
    EXECUTION_STATE setThreadExecutionState(EXECUTION_STATE flags) override {
        calls.push_back("state " + std::to_string(flags));
        return ES_CONTINUOUS;
    }
    BOOL shutdownBlockReasonCreate(HWND to, LPCWSTR reason) override {
        calls.push_back(name(to) + " refuses: " + std::string(reason, reason + wcslen(reason)));
        return TRUE;
    }
    BOOL shutdownBlockReasonDestroy(HWND to) override {
        calls.push_back(name(to) + " lets go");
        return TRUE;
    }
    std::string name(HWND to) const { return to == window ? "window" : "another window"; }
    HWND window = nullptr;
    Calls calls;
};

TEST(Win32RunGuard, HoldsTheMachineAndRefusesTheEndOfTheSessionForTheRun) {
    const std::string held = "state " + std::to_string(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
    const std::string released = "state " + std::to_string(ES_CONTINUOUS);
    const std::string refuses =
        "window refuses: kelvoflash is writing the camera's firmware. Do not switch off.";
    const struct {
        const char* name;
        DWORD style;  // of the thread's window; 0: none
        Calls during, after;
    } cases[] = {
        {"a dialog on the screen", WS_OVERLAPPEDWINDOW | WS_VISIBLE, {held, refuses},
         {held, refuses, "window lets go", released}},
        {"a hidden window gives no reason", WS_OVERLAPPEDWINDOW, {held}, {held, released}},
        {"the console program", 0, {held}, {held, released}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HWND window = c.style == 0 ? nullptr
                                   : CreateWindowExA(0, "STATIC", "run", c.style, 0, 0, 100, 100,
                                                     nullptr, nullptr, nullptr, nullptr);
        if (window == nullptr && c.style != 0 && std::getenv("DISPLAY") == nullptr)
            GTEST_SKIP() << "no display for a window: platform_window_tests runs it on one";
        ASSERT_EQ(window == nullptr, c.style == 0);
        PlayedPower power;
        power.window = window;
        EXPECT_TRUE(platform::endSessionAllowed());
        {
            const auto guard = platform::guardRun(power);
            EXPECT_EQ(power.calls, c.during);
            EXPECT_FALSE(platform::endSessionAllowed());
        }
        EXPECT_EQ(power.calls, c.after);
        EXPECT_TRUE(platform::endSessionAllowed());
        if (window != nullptr) DestroyWindow(window);
    }
}

}  // namespace

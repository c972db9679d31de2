#include <windows.h>

#include "platform/clock.h"

namespace platform {

namespace {
// The system's tick count and Sleep; a sleep longer than a DWORD of milliseconds is split.
class RealClock : public Clock {
public:
    Milliseconds now() const override { return Milliseconds(int64_t(::GetTickCount64())); }
    void sleepFor(Milliseconds duration) override {
        for (int64_t left = duration.count(); left > 0;) {
            const DWORD step = left > int64_t(INFINITE - 1) ? INFINITE - 1 : DWORD(left);
            ::Sleep(step);
            left -= step;
        }
    }
};
}  // namespace

Clock& realClock() {
    static RealClock clock;
    return clock;
}

}  // namespace platform

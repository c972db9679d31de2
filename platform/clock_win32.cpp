#include <windows.h>

#include "platform/clock.h"

namespace platform {

namespace {
// The performance counter (the tick count moves in steps of up to 16 ms) and Sleep; a sleep
// longer than a DWORD of milliseconds is split.
class RealClock : public Clock {
public:
    Milliseconds now() const override {
        LARGE_INTEGER count{}, frequency{};
        ::QueryPerformanceCounter(&count);
        ::QueryPerformanceFrequency(&frequency);
        const int64_t perSecond = frequency.QuadPart;
        return Milliseconds(count.QuadPart / perSecond * 1000 +
                            count.QuadPart % perSecond * 1000 / perSecond);
    }
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

#include "platform/clock.h"

#include <thread>

namespace platform {

namespace {
class RealClock : public Clock {
public:
    Milliseconds now() const override {
        return std::chrono::duration_cast<Milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
    }
    void sleepFor(Milliseconds duration) override { std::this_thread::sleep_for(duration); }
};
}  // namespace

Clock& realClock() {
    static RealClock clock;
    return clock;
}

}  // namespace platform

#pragma once
// The one clock and sleep service of the flows. Production code uses realClock(); tests hand a
// VirtualClock to the flows so that waits of seconds run in no time.

#include <chrono>
#include <cstdint>

namespace platform {

using Milliseconds = std::chrono::milliseconds;

class Clock {
public:
    virtual ~Clock() = default;
    // Monotonic time since an arbitrary start.
    virtual Milliseconds now() const = 0;
    virtual void sleepFor(Milliseconds duration) = 0;
};

// Steady clock and a real sleep.
Clock& realClock();

// Time moves only when someone sleeps (or a test advances it).
class VirtualClock : public Clock {
public:
    Milliseconds now() const override { return now_; }
    void sleepFor(Milliseconds duration) override {
        now_ += duration;
        slept_ += duration;
    }
    void advance(Milliseconds duration) { now_ += duration; }
    // Total time asked for through sleepFor, for tests that check a wait's length.
    Milliseconds totalSlept() const { return slept_; }

private:
    Milliseconds now_{0};
    Milliseconds slept_{0};
};

}  // namespace platform

#pragma once
// A monotonic deadline: started once, then asked whether it expired and how long remains.

#include <chrono>

namespace platform {

class Deadline {
public:
    using SteadyClock = std::chrono::steady_clock;

    // A deadline `duration` from now; a negative duration is already expired.
    explicit Deadline(std::chrono::nanoseconds duration)
        : end_(SteadyClock::now() + duration) {}
    static Deadline at(SteadyClock::time_point end) { return Deadline(end); }

    bool expired() const { return SteadyClock::now() >= end_; }
    // Time left, never negative.
    std::chrono::nanoseconds remaining() const {
        auto left = end_ - SteadyClock::now();
        return left.count() > 0 ? std::chrono::duration_cast<std::chrono::nanoseconds>(left)
                                : std::chrono::nanoseconds{0};
    }
    SteadyClock::time_point end() const { return end_; }

private:
    explicit Deadline(SteadyClock::time_point end) : end_(end) {}
    SteadyClock::time_point end_;
};

}  // namespace platform

#pragma once
// Bytes waiting to go to the port, optionally paced like a serial line at a given baud rate
// (8N1: ten bits per byte), since a pty itself delivers at once. Paced, a byte is handed over
// once it would have been received completely, and like a UART's receive FIFO the bytes come in
// bursts of kBurst, the tail as soon as it is complete: the last byte lands exactly at the end of
// its wire time, while the reader wakes once a burst instead of once a byte.
//
// The queue also checks itself: for each send (from the moment the idle line starts until its
// last byte was handed over) it adds up the time really taken beside the wire time at the pace.

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>

#include "sim/reply_builder.h"

namespace sim {

// What a paced line delivered: `taken` over `wire` is 1 for a line that keeps its pace exactly.
struct LineCheck {
    uint64_t bytes = 0;
    std::chrono::nanoseconds wire{0};
    std::chrono::nanoseconds taken{0};
};

class OutputQueue {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr size_t kBurst = 16;

    explicit OutputQueue(uint32_t paceBaud);  // 0: unpaced
    // A new line speed for the bytes not written yet (0: unpaced).
    void setPace(uint32_t paceBaud);

    // `start` is when the bytes are ready to go; an idle line starts them then (or now, if it
    // was busy until later), a busy one behind what it holds.
    void push(const Bytes& bytes, Clock::time_point start);
    bool empty() const { return queue_.empty(); }
    void clear();

    // How many bytes may be written now (all of them when unpaced).
    size_t due(Clock::time_point now) const;
    // Front bytes for a write of at most `max`; copies into `out` and returns the count.
    size_t peek(uint8_t* out, size_t max) const;
    // Marks `count` bytes as handed over at `now`.
    void consume(size_t count, Clock::time_point now);
    // When the next byte is due, if bytes wait and pacing holds them back.
    std::optional<Clock::time_point> nextDue(Clock::time_point now) const;

    // Paced sends completed (or cleared) so far.
    const LineCheck& check() const { return check_; }

private:
    // When the next burst (or the shorter tail) has been received completely.
    Clock::time_point burstEnd() const;
    void closeSend();

    std::chrono::nanoseconds byteTime_{0};
    std::deque<uint8_t> queue_;
    Clock::time_point nextByte_{};  // when the front byte starts on the line
    // The send in progress: when its line started, its bytes handed over and their wire time.
    Clock::time_point sendStart_{};
    Clock::time_point lastHandOver_{};
    LineCheck send_;
    LineCheck check_;
};

}  // namespace sim

#pragma once
// Cuts command telegrams out of the byte stream from the port. Bytes that cannot start a
// telegram (a length field outside 5..512) are dropped one by one until the stream makes sense
// again; a telegram that stays incomplete for too long is given up the same way.

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>

#include "sim/reply_builder.h"

namespace sim {

class TelegramReader {
public:
    using Clock = std::chrono::steady_clock;
    // A partial telegram older than this (no new byte) is taken for garbage.
    static constexpr std::chrono::milliseconds kStaleGap{300};

    struct Telegram {
        Bytes bytes;
        bool checksumOk = false;
    };

    void feed(const uint8_t* data, size_t count, Clock::time_point now);
    // The next complete telegram, if one is there.
    std::optional<Telegram> next(Clock::time_point now);
    // When next() should be asked again to give up a stale partial telegram, if ever.
    std::optional<Clock::time_point> staleDeadline() const;
    bool empty() const { return buffer_.empty(); }
    void clear() { buffer_.clear(); }

private:
    std::deque<uint8_t> buffer_;
    Clock::time_point lastByte_{};
};

}  // namespace sim

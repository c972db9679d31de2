#pragma once
// Cuts command telegrams out of the byte stream from the port. Bytes that cannot start a
// telegram (a length field outside 5..512) are dropped one by one until the stream makes sense
// again; a telegram that stays incomplete for too long is given up the same way.
//
// With a baud rate the reader also plays the line: a pty hands over a whole telegram at once,
// but a real line needs ten bit times per byte, so a complete telegram is released only once
// its last byte would have arrived, counted from the moment its first byte was seen.

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
        Clock::time_point arrived;  // when its last byte was in (paced: on the line's time)
    };

    explicit TelegramReader(uint32_t paceBaud = 0);  // 0: a telegram counts as there at once
    // A new line speed for the bytes from now on (0: unpaced).
    void setPace(uint32_t paceBaud);

    void feed(const uint8_t* data, size_t count, Clock::time_point now);
    // The next complete telegram, if one is there (and, paced, has fully arrived by `now`).
    std::optional<Telegram> next(Clock::time_point now);
    // When next() should be asked again to give up a stale partial telegram, if ever.
    std::optional<Clock::time_point> staleDeadline() const;
    // When the complete telegram at the front will have arrived, if one waits for its wire time.
    std::optional<Clock::time_point> arrivalDue() const;
    bool empty() const { return buffer_.empty(); }
    void clear() { buffer_.clear(); }

private:
    // Length of the complete telegram at the front, 0 if there is none (yet).
    size_t completeLength() const;
    Clock::time_point arrivalOf(size_t length) const {
        return frontSeen_ + byteTime_ * long(length);
    }

    std::chrono::nanoseconds byteTime_{0};
    std::deque<uint8_t> buffer_;
    Clock::time_point lastByte_{};
    Clock::time_point frontSeen_{};  // when the first byte at the front was on the line
};

}  // namespace sim

#include "sim/telegram_reader.h"

#include "protocol/telegram.h"

namespace sim {

void TelegramReader::feed(const uint8_t* data, size_t count, Clock::time_point now) {
    if (count == 0) return;
    buffer_.insert(buffer_.end(), data, data + count);
    lastByte_ = now;
}

std::optional<TelegramReader::Telegram> TelegramReader::next(Clock::time_point now) {
    while (buffer_.size() >= 4) {
        const size_t length = size_t(buffer_[2]) | size_t(buffer_[3]) << 8;
        if (length < protocol::kTelegramMin || length > protocol::kTelegramMax) {
            buffer_.pop_front();
            continue;
        }
        if (buffer_.size() < length) {
            if (now - lastByte_ < kStaleGap) return std::nullopt;
            buffer_.pop_front();  // waited long enough: resynchronise
            continue;
        }
        Telegram t;
        t.bytes.assign(buffer_.begin(), buffer_.begin() + long(length));
        buffer_.erase(buffer_.begin(), buffer_.begin() + long(length));
        t.checksumOk = protocol::checksumOf(t.bytes.data(), length - 1) == t.bytes.back();
        return t;
    }
    // Fewer than four bytes: a header that never completes is dropped as well.
    if (!buffer_.empty() && now - lastByte_ >= kStaleGap) buffer_.clear();
    return std::nullopt;
}

std::optional<TelegramReader::Clock::time_point> TelegramReader::staleDeadline() const {
    if (buffer_.empty()) return std::nullopt;
    return lastByte_ + kStaleGap;
}

}  // namespace sim

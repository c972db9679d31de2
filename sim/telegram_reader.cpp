#include "sim/telegram_reader.h"

#include "protocol/telegram.h"

namespace sim {

TelegramReader::TelegramReader(uint32_t paceBaud) { setPace(paceBaud); }

void TelegramReader::setPace(uint32_t paceBaud) {
    byteTime_ = std::chrono::nanoseconds(paceBaud > 0 ? 10'000'000'000LL / paceBaud : 0);
}

void TelegramReader::feed(const uint8_t* data, size_t count, Clock::time_point now) {
    if (count == 0) return;
    if (buffer_.empty()) frontSeen_ = now;
    buffer_.insert(buffer_.end(), data, data + count);
    lastByte_ = now;
}

size_t TelegramReader::completeLength() const {
    if (buffer_.size() < 4) return 0;
    const size_t length = size_t(buffer_[2]) | size_t(buffer_[3]) << 8;
    if (length < protocol::kTelegramMin || length > protocol::kTelegramMax) return 0;
    return buffer_.size() >= length ? length : 0;
}

std::optional<TelegramReader::Telegram> TelegramReader::next(Clock::time_point now) {
    while (buffer_.size() >= 4) {
        const size_t length = size_t(buffer_[2]) | size_t(buffer_[3]) << 8;
        if (length < protocol::kTelegramMin || length > protocol::kTelegramMax) {
            buffer_.pop_front();
            frontSeen_ += byteTime_;  // the dropped byte used its time on the line
            continue;
        }
        if (buffer_.size() < length) {
            if (now - lastByte_ < kStaleGap) return std::nullopt;
            buffer_.pop_front();  // waited long enough: resynchronise
            frontSeen_ += byteTime_;
            continue;
        }
        const Clock::time_point arrived = arrivalOf(length);
        if (now < arrived) return std::nullopt;
        Telegram t;
        t.arrived = arrived;
        t.bytes.assign(buffer_.begin(), buffer_.begin() + long(length));
        buffer_.erase(buffer_.begin(), buffer_.begin() + long(length));
        // Bytes behind it were queued on the line: they start when this telegram has ended.
        frontSeen_ = arrived;
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

std::optional<TelegramReader::Clock::time_point> TelegramReader::arrivalDue() const {
    const size_t length = completeLength();
    if (length == 0 || byteTime_.count() == 0) return std::nullopt;
    return arrivalOf(length);
}

}  // namespace sim

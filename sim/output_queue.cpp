#include "sim/output_queue.h"

#include <algorithm>

namespace sim {

OutputQueue::OutputQueue(uint32_t paceBaud) { setPace(paceBaud); }

void OutputQueue::setPace(uint32_t paceBaud) {
    byteTime_ = std::chrono::nanoseconds(paceBaud > 0 ? 10'000'000'000LL / paceBaud : 0);
}

void OutputQueue::push(const Bytes& bytes, Clock::time_point start) {
    if (bytes.empty()) return;
    // A line that was idle starts sending then, not before its last byte went out.
    if (queue_.empty()) {
        nextByte_ = std::max(nextByte_, start);
        sendStart_ = nextByte_;
    }
    queue_.insert(queue_.end(), bytes.begin(), bytes.end());
}

void OutputQueue::clear() {
    queue_.clear();
    closeSend();
}

size_t OutputQueue::due(Clock::time_point now) const {
    if (byteTime_.count() == 0) return queue_.size();
    if (now < burstEnd()) return 0;
    return std::min(size_t((now - nextByte_) / byteTime_), queue_.size());
}

OutputQueue::Clock::time_point OutputQueue::burstEnd() const {
    return nextByte_ + byteTime_ * long(std::min(kBurst, queue_.size()));
}

size_t OutputQueue::peek(uint8_t* out, size_t max) const {
    const size_t n = std::min(max, queue_.size());
    std::copy_n(queue_.begin(), n, out);
    return n;
}

void OutputQueue::consume(size_t count, Clock::time_point now) {
    count = std::min(count, queue_.size());
    queue_.erase(queue_.begin(), queue_.begin() + long(count));
    nextByte_ += byteTime_ * long(count);
    if (byteTime_.count() != 0 && count != 0) {
        send_.bytes += count;
        send_.wire += byteTime_ * long(count);
        lastHandOver_ = now;
    }
    if (queue_.empty()) closeSend();
}

void OutputQueue::closeSend() {
    if (send_.bytes != 0) {
        check_.bytes += send_.bytes;
        check_.wire += send_.wire;
        check_.taken += lastHandOver_ - sendStart_;
    }
    send_ = {};
}

std::optional<OutputQueue::Clock::time_point> OutputQueue::nextDue(Clock::time_point now) const {
    if (queue_.empty() || byteTime_.count() == 0) return std::nullopt;
    return std::max(burstEnd(), now);
}

}  // namespace sim

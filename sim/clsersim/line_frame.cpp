#include "sim/clsersim/line_frame.h"

#include <algorithm>

namespace clsersim {

namespace {
uint32_t u32At(const uint8_t* p) {
    return uint32_t(p[0] | p[1] << 8 | p[2] << 16) | uint32_t(p[3]) << 24;
}
uint8_t garbled(uint8_t b) {
    return uint8_t(0x80 | b >> 1);
}
}  // namespace

void appendFrames(Bytes& out, uint32_t baud, const uint8_t* data, size_t count) {
    while (count > 0) {
        const size_t n = std::min(count, kMaxFrameBytes);
        for (int i = 0; i < 4; ++i)
            out.push_back(uint8_t(baud >> (8 * i)));
        out.push_back(uint8_t(n));
        out.push_back(uint8_t(n >> 8));
        out.insert(out.end(), data, data + n);
        data += n;
        count -= n;
    }
}

bool LineReceiver::feed(const uint8_t* data, size_t count, Bytes& heard) {
    partial_.insert(partial_.end(), data, data + count);
    size_t at = 0;
    while (partial_.size() - at >= kFrameHeader) {
        const uint8_t* frame = partial_.data() + at;
        const size_t n = size_t(frame[4] | frame[5] << 8);
        if (n == 0 || n > kMaxFrameBytes) {
            partial_.clear();
            return false;
        }
        if (partial_.size() - at < kFrameHeader + n)
            break;
        hear(u32At(frame), frame + kFrameHeader, n, heard);
        at += kFrameHeader + n;
    }
    partial_.erase(partial_.begin(), partial_.begin() + long(at));
    return true;
}

void LineReceiver::hear(uint32_t senderBaud, const uint8_t* data, size_t count, Bytes& heard) {
    if (followSender_) baud_ = senderBaud;
    if (senderBaud == baud_) {
        heard.insert(heard.end(), data, data + count);
        return;
    }
    if (dropGarbled_) {
        heard.clear();
        framingError_ = true;
        return;
    }
    if (baud_ > senderBaud || senderBaud == 0) {
        for (size_t i = 0; i < count; ++i)
            heard.push_back(garbled(data[i]));
        return;
    }
    const uint64_t total = carry_ + uint64_t(count) * baud_;
    const size_t out = size_t(total / senderBaud);
    carry_ = total % senderBaud;
    // Each byte heard spans several bytes sent; it takes its bits from the one where it starts.
    for (size_t j = 0; j < out; ++j)
        heard.push_back(garbled(data[j * count / out]));
}

void LineReceiver::reset() {
    partial_.clear();
    carry_ = 0;
    framingError_ = false;
}

}  // namespace clsersim

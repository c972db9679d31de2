#include "sim/reply_builder.h"

#include "protocol/telegram.h"

namespace sim {

Bytes makeTelegram(uint16_t code, const Bytes& payload) {
    Bytes t;
    t.reserve(payload.size() + 5);
    appendU16(t, code);
    appendU16(t, uint16_t(payload.size() + 5));
    t.insert(t.end(), payload.begin(), payload.end());
    t.push_back(protocol::checksumOf(t.data(), t.size()));
    return t;
}

Bytes makeReply(uint16_t command, const Bytes& payload) {
    return makeTelegram(uint16_t(command | protocol::kReplyBit), payload);
}

Bytes makeErrorReply(uint16_t command, uint32_t error) {
    Bytes payload;
    appendU32(payload, error);
    return makeTelegram(uint16_t(command | protocol::kErrorReplyMask), payload);
}

Bytes makeDebugText(const std::string& text) {
    return makeTelegram(protocol::kDebugTextMark, Bytes(text.begin(), text.end()));
}

void appendU16(Bytes& out, uint16_t value) {
    out.push_back(uint8_t(value));
    out.push_back(uint8_t(value >> 8));
}

void appendU32(Bytes& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

}  // namespace sim

#pragma once
// Test doubles for the camera link: a camera link whose Command is answered by a script, and a
// wait host on virtual time that records what it was shown.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "programmer/camera/cam_update.h"
#include "programmer/camera/wait_host.h"
#include "protocol/telegram.h"

namespace camera::test {

struct SentCommand {
    uint16_t code = 0;
    std::vector<uint8_t> bytes;  // the telegram as given to Command (no checksum byte)
    uint32_t capacity = 0;
    uint32_t timeoutMs = 0;
    uint32_t u32(size_t offset) const { return protocol::readU32(&bytes[offset]); }
};

// Answers a command: returns 0 and fills `payload` (the reply's bytes from offset 4), or returns
// the camera's error code.
using Responder = std::function<uint32_t(const SentCommand&, std::vector<uint8_t>& payload)>;

// Builds the reply telegram the way the transports hand it to the caller (without checksum, cut
// to the capacity).
inline void deliverReply(uint16_t code, uint32_t result, const std::vector<uint8_t>& payload,
                         uint8_t* reply, uint32_t capacity) {
    std::vector<uint8_t> telegram(4);
    if (result != 0) {
        protocol::writeU16(&telegram[0], uint16_t(code | 0x00C0));
        telegram.resize(8);
        protocol::writeU32(&telegram[4], result);
    } else {
        protocol::writeU16(&telegram[0], uint16_t(code | 0x0080));
        telegram.insert(telegram.end(), payload.begin(), payload.end());
    }
    protocol::writeU16(&telegram[2], uint16_t(telegram.size() + 1));
    if (reply != nullptr)
        std::memcpy(reply, telegram.data(), std::min<size_t>(telegram.size(), capacity));
}

// Every event in order: "cmd 0x1103", "flush", "pump", "sleep 100".
using EventLog = std::vector<std::string>;

inline std::string hexCode(uint16_t code) {
    char text[16];
    std::snprintf(text, sizeof text, "cmd 0x%04x", code);
    return text;
}

class ScriptedCamera : public CCamUpdate {
public:
    explicit ScriptedCamera(EventLog& events) : events_(events) {}

    ErrorCode Command(const uint8_t* command, uint32_t size, uint8_t* reply, uint32_t capacity,
                      uint32_t timeoutMs) override {
        SentCommand sent;
        sent.code = protocol::readU16(command);
        sent.bytes.assign(command, command + size);
        sent.capacity = capacity;
        sent.timeoutMs = timeoutMs;
        sentCommands.push_back(sent);
        events_.push_back(hexCode(sent.code));
        std::vector<uint8_t> payload;
        const uint32_t result = responder ? responder(sent, payload) : 0;
        if (result == kNoReply) return kNoReply;
        deliverReply(sent.code, result, payload, reply, capacity);
        return result;
    }
    ErrorCode Open(int) override { return 0; }
    ErrorCode Close() override { return 0; }
    ErrorCode FlushInput() override {
        events_.push_back("flush");
        return 0;
    }
    ErrorCode Reboot(WaitHost&) override { return 0; }

    std::vector<SentCommand> sentOf(uint16_t code) const {
        std::vector<SentCommand> out;
        for (const auto& s : sentCommands)
            if (s.code == code) out.push_back(s);
        return out;
    }

    // A responder result that means "nothing came back" (the transport's time-out code).
    static constexpr uint32_t kNoReply = 0xA00B2005;
    Responder responder;
    std::vector<SentCommand> sentCommands;

private:
    EventLog& events_;
};

class RecordingHost : public WaitHost {
public:
    explicit RecordingHost(EventLog& events) : events_(events) {}
    void showStatus(const std::string& text) override { statuses.push_back(text); }
    void pumpMessages() override { events_.push_back("pump"); }
    platform::Clock& clock() override { return clock_; }

    platform::VirtualClock& virtualClock() { return clock_; }
    std::vector<std::string> statuses;

private:
    EventLog& events_;
    platform::VirtualClock clock_;
};

}  // namespace camera::test

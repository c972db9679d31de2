#pragma once
// A camera link answered by a script, a wait host on virtual time, a file holding one image.

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "programmer/camera/cam_update.h"
#include "programmer/camera/wait_host.h"
#include "programmer/files/loaded_update_file.h"
#include "protocol/telegram.h"

namespace camera::test {

struct SentCommand {
    uint16_t code = 0;
    std::vector<uint8_t> bytes;  // as given to Command, without the checksum byte
    uint32_t capacity = 0;
    uint32_t timeoutMs = 0;
    uint32_t u32(size_t offset) const { return protocol::readU32(&bytes[offset]); }
};

// Returns 0 and fills `payload` (the reply from offset 4 on), or returns the camera's error code.
using Responder = std::function<uint32_t(const SentCommand&, std::vector<uint8_t>& payload)>;
// Every event in order: "cmd 0x1103", "flush", "pump".
using EventLog = std::vector<std::string>;

class BareCamera : public CCamUpdate {
public:
    ErrorCode Open(int) override { return 0; }
    ErrorCode Close() override { return 0; }
    ErrorCode Reboot(WaitHost&) override { return 0; }
};

// `Base` (a CCamUpdate) whose Command is answered by `responder` and recorded.
template <class Base>
class Scripted : public Base {
public:
    template <class... Args>
    explicit Scripted(EventLog& events, Args&&... args)
        : Base(std::forward<Args>(args)...), events_(events) {}

    ErrorCode Command(const uint8_t* command, uint32_t size, uint8_t* reply, uint32_t capacity,
                      uint32_t timeoutMs) override {
        const SentCommand sent{protocol::readU16(command), {command, command + size}, capacity,
                               timeoutMs};
        sentCommands.push_back(sent);
        char text[16];
        std::snprintf(text, sizeof text, "cmd 0x%04x", sent.code);
        events_.push_back(text);
        std::vector<uint8_t> payload;
        const uint32_t result = responder ? responder(sent, payload) : 0;
        if (result == kNoReply) return kNoReply;
        if (result != 0) {
            payload.assign(4, 0);
            protocol::writeU32(payload.data(), result);
        }
        // As the transports hand it over: no checksum, cut to the capacity.
        std::vector<uint8_t> telegram(4 + payload.size());
        protocol::writeU16(&telegram[0], uint16_t(sent.code | (result != 0 ? 0xC0 : 0x80)));
        protocol::writeU16(&telegram[2], uint16_t(telegram.size() + 1));
        for (size_t i = 4; i < telegram.size(); ++i) telegram[i] = payload[i - 4];
        for (size_t i = 0; i < std::min<size_t>(telegram.size(), capacity); ++i)
            reply[i] = telegram[i];
        return result;
    }
    ErrorCode FlushInput() override {
        events_.push_back("flush");
        return 0;
    }
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

using ScriptedCamera = Scripted<BareCamera>;

class RecordingHost : public WaitHost {
public:
    explicit RecordingHost(EventLog& events) : events_(events) {}
    void showStatus(const std::string& text) override { statuses.push_back(text); }
    void pumpMessages() override { events_.push_back("pump"); }
    platform::Clock& clock() override { return virtualClock; }

    platform::VirtualClock virtualClock;
    std::vector<std::string> statuses;

private:
    EventLog& events_;
};

constexpr int kImageOffset = 64;  // where the device data starts inside the loaded file

inline files::LoadedUpdateFile fileWith(int row, const std::vector<uint8_t>& data,
                                        uint32_t startOffset = 0) {
    files::LoadedUpdateFile file;
    file.image.assign(kImageOffset + data.size() + 100, 0xFF);
    std::fill(file.image.begin(), file.image.begin() + kImageOffset, 0);
    for (size_t i = 0; i < data.size(); ++i) file.image[kImageOffset + i] = data[i];
    file.readBackImage.assign(file.image.size(), 0);
    file.present[size_t(row)] = true;
    file.dataOffset[size_t(row)] = kImageOffset;
    file.record[size_t(row)].dataLength = uint32_t(data.size());
    file.record[size_t(row)].startOffset = startOffset;
    file.record[size_t(row)].deviceIndex = row;
    return file;
}

}  // namespace camera::test

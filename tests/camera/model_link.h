#pragma once
// A camera link whose commands camsim's model answers in process, each one recorded with the
// flushes and message pumps around it; a wait host on virtual time; a file holding one image.

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "programmer/camera/cam_update.h"
#include "programmer/camera/wait_host.h"
#include "programmer/files/loaded_update_file.h"
#include "protocol/telegram.h"
#include "tests/support/model_camera.h"

namespace camera::test {

struct SentCommand {
    uint16_t code = 0;
    std::vector<uint8_t> bytes;  // as given to Command, the checksum's place included
    uint32_t capacity = 0;
    uint32_t timeoutMs = 0;
    uint32_t u32(size_t offset) const { return protocol::readU32(&bytes[offset]); }
};

// Every event in order: "cmd 0x1103", "flush", "pump".
using EventLog = std::vector<std::string>;

// Nothing to open or reboot: the model is always there.
class BareLink : public CCamUpdate {
public:
    ErrorCode Open(int) override { return 0; }
    ErrorCode Close() override { return 0; }
    ErrorCode Reboot(WaitHost&) override { return 0; }
    ErrorCode FlushInput() override { return 0; }
};

// `Base`'s link answered by `model`, or by `instead` where it returns a result: an answer the
// model cannot give (it then fills `reply` itself).
template <class Base>
class OnModel : public Base {
public:
    template <class... Args>
    explicit OnModel(EventLog& events, Args&&... args)
        : Base(std::forward<Args>(args)...), events_(events) {}

    ErrorCode Command(const uint8_t* command, uint32_t size, uint8_t* reply, uint32_t capacity,
                      uint32_t timeoutMs) override {
        const SentCommand sent{protocol::readU16(command), {command, command + size}, capacity,
                               timeoutMs};
        sentCommands.push_back(sent);
        char text[16];
        std::snprintf(text, sizeof text, "cmd 0x%04x", sent.code);
        events_.push_back(text);
        if (instead) {
            if (const auto result = instead(sent, reply)) return *result;
        }
        return model.Command(command, size, reply, capacity, timeoutMs);
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
    // A new camera with the options and faults set since.
    void restartModel() { model.model.reset(); }

    // What the link reports when nothing comes back (the transport's time-out code).
    static constexpr ErrorCode kNoReply = protocol::kErrPortIo;
    ModelCamera model;
    std::function<std::optional<ErrorCode>(const SentCommand&, uint8_t* reply)> instead;
    std::vector<SentCommand> sentCommands;

private:
    EventLog& events_;
};

using ModelLink = OnModel<BareLink>;

// Puts a reply to `code` with `payload` into `reply`, as the transports hand it over; 0.
inline ErrorCode answer(uint8_t* reply, uint16_t code, const std::vector<uint8_t>& payload = {}) {
    protocol::writeU16(reply, uint16_t(code | 0x80));
    protocol::writeU16(reply + 2, uint16_t(4 + payload.size() + 1));
    std::copy(payload.begin(), payload.end(), reply + 4);
    return 0;
}

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
    std::copy(data.begin(), data.end(), file.image.begin() + kImageOffset);
    file.readBackImage.assign(file.image.size(), 0);
    file.present[size_t(row)] = true;
    file.dataOffset[size_t(row)] = kImageOffset;
    file.record[size_t(row)].dataLength = uint32_t(data.size());
    file.record[size_t(row)].startOffset = startOffset;
    file.record[size_t(row)].deviceIndex = row;
    return file;
}

}  // namespace camera::test

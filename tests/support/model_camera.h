#pragma once
// A camera link whose other end is camsim's camera model in process: each command goes to the
// model with its checksum, and the model's answer comes back through the programmer's own reply
// validation, as the COM-port transport hands it over (debug texts before it are dropped).

#include <optional>
#include <string>
#include <vector>

#include "programmer/camera/cam_update.h"
#include "protocol/log_sink.h"
#include "protocol/telegram.h"
#include "sim/camera_model.h"

namespace camera::test {

// Hands `command` to `model` with its checksum and returns the model's answer through the
// programmer's own reply validation; `offline` learns whether the camera then stops answering.
inline ErrorCode askModel(sim::CameraModel& model, const uint8_t* command, uint32_t size,
                          uint8_t* reply, uint32_t capacity, protocol::LogSink& log,
                          bool* offline = nullptr) {
    sim::Bytes telegram(command, command + size);
    telegram.back() = protocol::checksumOf(telegram.data(), telegram.size() - 1);
    const sim::Reaction reaction = model.handle(telegram);
    if (offline) *offline = reaction.offlineForever;
    const sim::Bytes& answer = reaction.bytes;
    // Debug texts first, the reply last: keep the last telegram.
    size_t start = 0;
    while (start + 4 <= answer.size() && protocol::readU16(&answer[start]) == 0x0019)
        start += protocol::readU16(&answer[start + 2]);
    if (start >= answer.size()) return protocol::kErrPortIo;
    return protocol::validateReply(answer.data() + start, answer.size() - start,
                                   protocol::readU16(command), reply, capacity, protocol::kOk,
                                   protocol::Variant::Programmer, log);
}

class ModelCamera : public CCamUpdate {
public:
    // The model is made at the first command, so faults set on `options` until then count.
    ErrorCode Command(const uint8_t* command, uint32_t size, uint8_t* reply, uint32_t capacity,
                      uint32_t) override {
        if (!model) model.emplace(options, store);
        return askModel(*model, command, size, reply, capacity, log);
    }
    ErrorCode Open(int) override { return 0; }
    ErrorCode Close() override { return 0; }
    ErrorCode FlushInput() override { return 0; }
    ErrorCode Reboot(WaitHost&) override { return 0; }
    using CCamUpdate::identifyCamera;

    sim::SimOptions options;
    sim::DeviceStore store;
    std::optional<sim::CameraModel> model;
    protocol::NullLogSink log;
};

}  // namespace camera::test

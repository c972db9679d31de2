#pragma once
// Shared by the camera-side fuzz targets: a camera link whose replies come from the fuzz input
// and pass through the programmer's own reply validation.

#include <cstring>
#include <vector>

#include "programmer/camera/cam_update.h"
#include "protocol/telegram.h"

namespace fuzz {

class QuietLog : public protocol::LogSink {
public:
    void logv(const char*, va_list) override {}
};

// Subclasses decide which received bytes answer a command and hand them to `answer`.
class InputCamera : public camera::CCamUpdate {
public:
    camera::ErrorCode Open(int) override { return 0; }
    camera::ErrorCode Close() override { return 0; }
    camera::ErrorCode FlushInput() override { return 0; }
    camera::ErrorCode Reboot(camera::WaitHost&) override { return 0; }
    using CCamUpdate::identifyCamera;

    // What the last validation copied out, as the caller's buffer received it.
    std::vector<uint8_t> lastReply;

protected:
    // The caller's reply buffer holds `capacity` bytes: validation writes into a heap copy of
    // exactly that size, so any write beyond it is seen.
    camera::ErrorCode answer(const std::vector<uint8_t>& received, const uint8_t* command,
                             uint8_t* reply, uint32_t capacity) {
        std::vector<uint8_t> copy(capacity);
        const auto result = protocol::validateReply(
            received.data(), received.size(), protocol::readU16(command), copy.data(), capacity,
            protocol::kOk, protocol::Variant::Programmer, log_);
        if (capacity > 0) std::memcpy(reply, copy.data(), capacity);
        lastReply = std::move(copy);
        return result;
    }

private:
    QuietLog log_;
};

}  // namespace fuzz

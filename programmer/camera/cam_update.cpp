#include "programmer/camera/cam_update.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "programmer/camera/wait_cycle.h"
#include "protocol/commands.h"
#include "protocol/reply_fields.h"

namespace camera {

namespace {
constexpr const char* kWaitingText = "Waiting for Camera %c";
constexpr int kPollSpinOnlyCycles = 4;
constexpr int kPollAttempts = 21;

ErrorCode sendSimple(CCamUpdate& cam, uint16_t code, uint32_t capacity, uint32_t timeoutMs) {
    const protocol::Request request = protocol::simpleRequest(code);
    uint8_t reply[protocol::cap::GET_CAMERA_TYPE] = {};
    return cam.Command(request.data(), request.size, reply, capacity, timeoutMs);
}

ErrorCode getCameraType(CCamUpdate& cam) {
    return sendSimple(cam, protocol::cmd::GET_CAMERA_TYPE, protocol::cap::GET_CAMERA_TYPE,
                      protocol::timeout::GET_CAMERA_TYPE);
}

ErrorCode getCameraStatus(CCamUpdate& cam) {
    return sendSimple(cam, protocol::cmd::GET_CAMERA_STATUS, protocol::cap::GET_CAMERA_STATUS,
                      protocol::timeout::GET_CAMERA_STATUS);
}
}  // namespace

bool CCamUpdate::identifyCamera(int portValue) {
    const protocol::Request request = protocol::simpleRequest(protocol::cmd::GET_CAMERA_TYPE);
    uint8_t reply[protocol::cap::GET_CAMERA_TYPE] = {};
    const ErrorCode typed = Command(request.data(), request.size, reply, sizeof reply,
                                    protocol::timeout::GET_CAMERA_TYPE);
    port = portValue;
    connected = 1;
    // A reply too short for the link word answers the question no better than none.
    const auto identity = typed == 0 ? protocol::cameraTypeOf(reply, sizeof reply) : std::nullopt;
    if (identity && identity->linkWord && !protocol::isBootModeCameraType(identity->type)) {
        serialNumber = identity->serialNumber;
        bootMode = 0;
        linkWord = *identity->linkWord;
        return true;
    }
    // It answered the link's probe but has no usable firmware: only its bootloader runs.
    serialNumber = protocol::kBootModeSerialNumber;
    bootMode = 1;
    linkWord = -1;
    return false;
}

ErrorCode CCamUpdate::ReadCameraType() {
    const protocol::Request request = protocol::simpleRequest(protocol::cmd::GET_CAMERA_TYPE);
    uint8_t reply[protocol::cap::GET_CAMERA_TYPE] = {};
    ErrorCode result = Command(request.data(), request.size, reply, sizeof reply,
                               protocol::timeout::GET_CAMERA_TYPE_REOPEN);
    if (result != 0) return result;
    const auto identity = protocol::cameraTypeOf(reply, sizeof reply);
    if (!identity) return protocol::kErrReplyShort;
    cameraType = identity->type;
    return 0;
}

ErrorCode CCamUpdate::blocking(const std::function<ErrorCode()>& call) {
    if (runner_ == nullptr) return call();
    ErrorCode result = 0;
    runner_->run([&result, &call] { result = call(); });
    return result;
}

void CCamUpdate::markUnconnected() {
    serialNumber = 0;
    port = -1;
    connected = 0;
    bootMode = 0;
    linkWord = -1;
}

char spinnerChar(int counter) {
    static const char kSpinner[] = "-/|\\-/|\\";
    const int index = ((counter % 8) + 8) % 8;
    return kSpinner[index];
}

void showStatus(CCamUpdate& cam, WaitHost& host, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(cam.statusText, sizeof cam.statusText, format, args);
    va_end(args);
    host.showStatus(cam.statusText);
    std::memset(cam.statusText, 0, sizeof cam.statusText);
}

void spinnerCycle(CCamUpdate& cam, WaitHost& host, const char* spinnerFormat, int counter) {
    // The format is one of our own constants with a single %c.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    showStatus(cam, host, spinnerFormat, spinnerChar(counter));
#pragma GCC diagnostic pop
    host.clock().sleepFor(kWaitCycle);
    host.pumpMessages();
}

void waitPumping(WaitHost& host, platform::Milliseconds total) {
    while (total > platform::Milliseconds(0)) {
        const platform::Milliseconds step = std::min(total, kWaitCycle);
        host.clock().sleepFor(step);
        host.pumpMessages();
        total -= step;
    }
}

ErrorCode CCamUpdate::WaitForCamera(WaitHost& host, uint32_t timeoutMs) {
    const int cycles = int(timeoutMs / 100) + 1;
    for (int counter = cycles - 1; counter >= 0; --counter) {
        spinnerCycle(*this, host, kWaitingText, counter);
        FlushInput();
    }
    return PollCamera(host);
}

ErrorCode CCamUpdate::PollCamera(WaitHost& host) {
    for (int counter = kPollSpinOnlyCycles - 1; counter >= 0; --counter)
        spinnerCycle(*this, host, kWaitingText, counter);

    ErrorCode result = 0;
    for (int counter = kPollAttempts - 1; counter >= 0; --counter) {
        spinnerCycle(*this, host, kWaitingText, counter);
        // Alternate the order of the two questions, so a camera that is half up still gets
        // asked what it can answer first.
        if (counter % 2 == 1) {
            result = getCameraType(*this);
            if (result == 0 && !bootMode) result = getCameraStatus(*this);
        } else {
            result = getCameraStatus(*this);
            if (result == 0) result = getCameraType(*this);
        }
        if (result == 0) return 0;
    }
    return result;
}

}  // namespace camera

#include "programmer/camera/cam_update.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "programmer/camera/wait_cycle.h"
#include "protocol/commands.h"

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

#include "programmer/camera/com_update.h"

#include "programmer/camera/wait_cycle.h"
#include "protocol/commands.h"
#include "protocol/telegram.h"

namespace camera {

namespace {
constexpr int kInterfaceTypeCom = 0;
constexpr int kRebootFlushCycles = 10;
constexpr int kRebootBootCycles = 150;
constexpr int kLongBootExtraCycles = 10;  // link word 1: the camera needs a second more
}  // namespace

CComUpdate::CComUpdate(bool emergency, protocol::LogSink& log, platform::Clock& clock,
                       const std::string& device)
    : transport_(protocol::Variant::Programmer, log, clock) {
    transport_.setDevice(device);
    emergencyMode = emergency;
    interfaceType = kInterfaceTypeCom;
}

CComUpdate::~CComUpdate() { transport_.close(); }

ErrorCode CComUpdate::Command(const uint8_t* command, uint32_t size, uint8_t* reply,
                              uint32_t capacity, uint32_t timeoutMs) {
    const uint64_t sentMs = recorder ? recorder->elapsed() : 0;
    const ErrorCode result =
        blocking([&] { return transport_.transaction(command, size, reply, capacity, timeoutMs); });
    if (recorder) recorder->exchange(sentMs, command, size, reply, capacity, result);
    return result;
}

ErrorCode CComUpdate::Open(int portIndex) {
    if (recorder) recorder->opened(portIndex);
    // The open turns the camera's debug text off and drains the port for up to 3 s.
    const ErrorCode opened = blocking([&] { return transport_.openByIndex(portIndex, port); });
    if (opened != 0) {
        // The open closed the port this link had: it no longer reaches that camera.
        markUnconnected();
        return opened;
    }
    return identify(portIndex);
}

ErrorCode CComUpdate::Close() {
    if (recorder) recorder->closed();
    transport_.close();
    return 0;
}

// The wait loops flush every 100 ms themselves: one pass, however much keeps arriving.
ErrorCode CComUpdate::FlushInput() {
    if (recorder) recorder->flushed();
    return transport_.drain(platform::Milliseconds(0));
}

ErrorCode CComUpdate::identify(int portIndex) {
    interfaceType = kInterfaceTypeCom;

    const protocol::Request close = protocol::twoWordRequest(protocol::cmd::CLOSE_DEVICE, 0, 0);
    uint8_t closeReply[protocol::cap::CLOSE_DEVICE_SHORT] = {};
    const ErrorCode closed = Command(close.data(), close.size, closeReply, sizeof closeReply,
                                     protocol::timeout::CLOSE_DEVICE_IDENTIFY);
    // An error reply "no device open" still proves that a camera listens.
    if (closed != 0 && closed != protocol::kCamNoDeviceOpen) {
        markUnconnected();
        return protocol::kErrNoCamera;
    }
    identifyCamera(portIndex + 1);
    return 0;
}

ErrorCode CComUpdate::Reboot(WaitHost& host) {
    if (recorder) recorder->rebooting();
    showStatus(*this, host, "Rebooting Camera");
    for (int i = 0; i < kRebootFlushCycles; ++i) {
        host.clock().sleepFor(kWaitCycle);
        FlushInput();
        host.pumpMessages();
    }

    const protocol::Request reboot = protocol::simpleRequest(protocol::cmd::REBOOT);
    uint8_t reply[protocol::cap::REBOOT] = {};
    Command(reboot.data(), reboot.size, reply, sizeof reply, protocol::timeout::REBOOT);

    for (int counter = kRebootBootCycles - 1; counter >= 0; --counter) {
        spinnerCycle(*this, host, "Waiting for Camera boot %c", counter);
        FlushInput();
    }

    const ErrorCode polled = PollCamera(host);
    if (polled == 0 && linkWord == 1) {
        for (int i = 0; i < kLongBootExtraCycles; ++i) {
            host.clock().sleepFor(kWaitCycle);
            host.pumpMessages();
        }
    }
    return polled;
}

}  // namespace camera

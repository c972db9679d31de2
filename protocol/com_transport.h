#pragma once
// Command telegrams over a PC serial port. One port per transport object. The programmer's and
// the library's variants differ where noted; every log line goes to the deliverable's LogSink.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "platform/clock.h"
#include "platform/serial_line.h"
#include "protocol/error_codes.h"
#include "protocol/log_sink.h"
#include "protocol/telegram.h"

namespace protocol {

// The programmer's COM-port rate: it never changes.
constexpr uint32_t kProgrammerBaudRate = 57600;

class ComTransport {
public:
    ComTransport(Variant variant, LogSink& log, platform::Clock& clock);
    // Over `port` instead of a serial port of the system (a test's port that fails on cue).
    ComTransport(Variant variant, LogSink& log, platform::Clock& clock,
                 std::unique_ptr<platform::SerialLine> port);
    ~ComTransport();  // closes an open port
    ComTransport(const ComTransport&) = delete;
    ComTransport& operator=(const ComTransport&) = delete;

    // Programmer: open by 0-based port index at 57600 baud. `identifiedPortNumber` is the port
    // number of the last successful camera identification (-1 for none): an open port is kept
    // only when it equals index + 1, and then only "verbose 0\r" and the drain are repeated.
    ErrorCode openByIndex(int portIndex, int identifiedPortNumber);
    // Programmer: openByIndex opens `device` whatever the index says (empty: the index's port).
    // Several cameras in one program each name their own device this way.
    void setDevice(std::string device) { device_ = std::move(device); }

    // Library: open port number n at baud rate B and check the camera with GET_CAMERA_TYPE.
    ErrorCode openLibrary(int portNumber, uint32_t baudRate);
    // Library: the same on the already open port, without the open and (unless asked) without
    // "verbose 0\r"; the baud-rate scan calls it once per candidate rate.
    ErrorCode configureAndIdentify(uint32_t baudRate, bool debugOffAfter = false);
    // Library: does port n exist (open and close at once)? 0 or kErrLibraryPortOpen.
    static ErrorCode portTest(int portNumber);

    // Returns 1 (the programmer's close result).
    int close();
    bool isOpen() const { return port_->isOpen(); }
    // Reads and discards what waits in the input queue, pass after pass 100 ms apart, until a
    // pass finds it empty or `bound` has passed; a bound of 0 makes one pass.
    ErrorCode drain(platform::Milliseconds bound = kDrainBound);
    static constexpr platform::Milliseconds kDrainBound{3000};
    ErrorCode debugOff();

    // One command/reply exchange; `reply` may be null with capacity 0.
    ErrorCode transaction(const uint8_t* command, uint32_t size, uint8_t* reply, uint32_t capacity,
                          uint32_t timeoutMs);

    // The open port's device path (empty when closed).
    const std::string& portPath() const { return portPath_; }

private:
    // Line settings, queue sizes, idle time-outs and purge; skipped when the port's settings
    // cannot be read, as a driver without them keeps its own.
    void applySettings(uint32_t baudRate);
    // GET_CAMERA_TYPE with the library's log lines; `reply` holds the answer on success.
    ErrorCode identifyCamera(uint8_t* reply, uint32_t capacity);

    Variant variant_;
    LogSink& log_;
    platform::Clock& clock_;
    std::unique_ptr<platform::SerialLine> port_;
    std::string portPath_;
    std::string device_;
};

}  // namespace protocol

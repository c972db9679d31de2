#pragma once
// One serial port of the simulated frame grabber: the grabber's end of the line to a camsim,
// reached over TCP. The port number of serial index N comes from the environment variable
// CLSERSIM_PORT<N>. The grabber's UART starts at 9600 bit/s; bytes are exchanged in the frames of
// line_frame.h, so a rate that differs from the camera's garbles them.

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "sim/clsersim/line_frame.h"
#include "sim/clsersim/socket_channel.h"

namespace clsersim {

// Camera Link serial error numbers.
namespace clerr {
constexpr int32_t kNone = 0;
constexpr int32_t kTimeout = -10004;
constexpr int32_t kInvalidIndex = -10005;
constexpr int32_t kInvalidReference = -10006;
constexpr int32_t kBaudRateNotSupported = -10008;
}  // namespace clerr

constexpr uint32_t kStartBaud = 9600;
// The rates the simulated grabber offers unless CLSERSIM_BAUDRATES names a mask: 9600 to 115200.
constexpr uint32_t kDefaultBaudMask = 0x1F;

class SerialPort {
public:
    // Connects serial index `index`; null with a Camera Link error number in `error`.
    static std::shared_ptr<SerialPort> open(uint32_t index, int32_t& error);

    // Reads exactly *count bytes; on time-out returns kTimeout with *count set to what arrived.
    int32_t read(char* buffer, uint32_t* count, uint32_t timeoutMs);
    // Writes *count bytes at the current rate; on time-out kTimeout with *count bytes taken.
    int32_t write(const char* buffer, uint32_t* count, uint32_t timeoutMs);
    // Drops what was received and not read yet.
    int32_t flush();
    // `bitValue`: one Camera Link rate bit (1 = 9600, 2 = 19200, ... 128 = 921600).
    int32_t setBaudRate(uint32_t bitValue);
    uint32_t baud() const;

    // The supported rate mask (CLSERSIM_BAUDRATES, decimal or 0x hex, else kDefaultBaudMask).
    static uint32_t supportedMask();

private:
    explicit SerialPort(std::string address) : address_(std::move(address)) {}
    // Takes whatever the socket holds into `heard_` without waiting.
    void drainSocket();
    // Sends `unsent_` until it is empty or `deadline` passes.
    bool pushUnsent(uint64_t deadlineMs);

    mutable std::mutex mutex_;
    const std::string address_;
    SocketChannel channel_;
    LineReceiver receiver_{kStartBaud};
    uint32_t baud_ = kStartBaud;
    std::deque<uint8_t> heard_;
    Bytes scratch_;  // what one drain heard; kept to save an allocation per drain
    Bytes unsent_;  // framed bytes of a write that the socket has not taken yet
};

// The ports handed out as serial references: a reference is valid from its init to its close,
// and any other pointer is refused instead of being followed.
class PortTable {
public:
    static void* add(std::shared_ptr<SerialPort> port);
    static std::shared_ptr<SerialPort> find(void* reference);
    // Removes the reference; false when it was not one.
    static bool remove(void* reference);
};

}  // namespace clsersim

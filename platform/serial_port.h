#pragma once
// A serial port on termios with the read and write time-out semantics that the camera protocol
// was designed for:
//  - a read returns when the requested count arrived, when the total time-out
//    (readTotalMultiplierMs x count + readTotalConstantMs) expired, or when the gap between two
//    bytes exceeded readIntervalMs (the interval counts from the first byte on);
//  - a write returns when everything was written or the total write time-out expired.
// A zero total (multiplier and constant both 0) means no total limit; a zero interval means no
// interval limit. Every call returns 0 or an errno value.

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

struct SerialTimeouts {
    uint32_t readIntervalMs = 0;
    uint32_t readTotalMultiplierMs = 0;
    uint32_t readTotalConstantMs = 0;
    uint32_t writeTotalMultiplierMs = 0;
    uint32_t writeTotalConstantMs = 0;
};

class SerialPort {
public:
    SerialPort() = default;
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens the device exclusively (a second opener is refused with EBUSY).
    int open(const std::string& path);
    void close();
    bool isOpen() const { return fd_ >= 0; }

    // Raw 8N1, no flow control, DTR and RTS raised; any rate, 76800 and 500000 included.
    int configure(uint32_t baudRate);
    void setTimeouts(const SerialTimeouts& timeouts) { timeouts_ = timeouts; }
    const SerialTimeouts& timeouts() const { return timeouts_; }

    int read(uint8_t* buffer, size_t count, size_t& received);
    int write(const uint8_t* data, size_t count, size_t& written);
    int bytesWaiting(size_t& count);
    // Drops pending input and output.
    int purge();

    int fd() const { return fd_; }

private:
    int fd_ = -1;
    SerialTimeouts timeouts_{};
};

// The device path of the 1-based port number n: $QEL_COM<n> if set, else /dev/ttyS<n-1>.
std::string comPortPath(int portNumber);

}  // namespace platform

#pragma once
// What the COM-port transport needs of a serial port, so that a test can put a port that fails
// on cue in place of the real one. Time-out semantics:
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

class SerialLine {
public:
    virtual ~SerialLine() = default;

    virtual int open(const std::string& path) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Raw 8N1 at `baudRate`, no flow control, DTR and RTS raised.
    virtual int configure(uint32_t baudRate) = 0;
    virtual void setTimeouts(const SerialTimeouts& timeouts) = 0;
    virtual int read(uint8_t* buffer, size_t count, size_t& received) = 0;
    virtual int write(const uint8_t* data, size_t count, size_t& written) = 0;
    virtual int bytesWaiting(size_t& count) = 0;
    // Drops pending input and output.
    virtual int purge() = 0;
};

}  // namespace platform

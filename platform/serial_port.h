#pragma once
// A serial port on termios with the time-out semantics of SerialLine. A read whose bytes come at
// the line's pace sleeps once for the wire time of its rest instead of waking for every chunk
// the driver passes on. Reads take all the driver holds at once and keep what was not asked for
// for the next read, so a telegram's header and body cost one system call between them.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/com_port.h"
#include "platform/serial_line.h"

namespace platform {

class SerialPort : public SerialLine {
public:
    SerialPort() = default;
    ~SerialPort() override;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens the device exclusively (a second opener is refused with EBUSY).
    int open(const std::string& path) override;
    void close() override;
    bool isOpen() const override { return fd_ >= 0; }

    // Raw 8N1, no flow control, DTR and RTS raised; any rate, 76800 and 500000 included.
    int configure(uint32_t baudRate) override;
    void setTimeouts(const SerialTimeouts& timeouts) override { timeouts_ = timeouts; }
    const SerialTimeouts& timeouts() const { return timeouts_; }

    int read(uint8_t* buffer, size_t count, size_t& received) override;
    int write(const uint8_t* data, size_t count, size_t& written) override;
    // What the driver holds plus what an earlier read took in but did not hand out.
    int bytesWaiting(size_t& count) override;
    int purge() override;

    int fd() const { return fd_; }

private:
    // Whether `chunk` bytes arriving `since` the previous chunk are no faster than the line.
    bool atLinePace(size_t chunk, std::chrono::nanoseconds since) const;
    // Moves up to `max` bytes read ahead into `out`; returns how many.
    size_t takeReadAhead(uint8_t* out, size_t max);
    void dropReadAhead() { readAheadBegin_ = readAheadEnd_ = 0; }

    int fd_ = -1;
    SerialTimeouts timeouts_{};
    // Ten bit times (8N1) at the configured rate; 0 until configure() succeeded.
    std::chrono::nanoseconds byteTime_{0};
    bool justWrote_ = false;  // nothing was read since the last write
    // When the latest chunk of the answer to the last write came, across the reads that take it.
    std::optional<std::chrono::steady_clock::time_point> lastChunk_;
    // Larger than any telegram and than a pass of the drain.
    std::array<uint8_t, 4096> readAhead_{};
    size_t readAheadBegin_ = 0, readAheadEnd_ = 0;
};

}  // namespace platform

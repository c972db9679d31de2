#pragma once
// A COM port on the Win32 serial functions. The driver keeps the time-out semantics of
// SerialLine itself (SetCommTimeouts has the same five values), so reads and writes are single
// synchronous ReadFile and WriteFile calls. The calls go through CommApi, so that a test can play
// the driver.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/serial_line.h"

namespace platform {

// The Win32 calls a serial port makes, one each.
class CommApi {
public:
    virtual ~CommApi() = default;
    // CreateFileA for reading and writing, no sharing, existing device only, no overlapped I/O.
    virtual HANDLE createFile(const char* name) = 0;
    virtual BOOL getCommState(HANDLE port, DCB* settings) = 0;
    virtual BOOL setCommState(HANDLE port, DCB* settings) = 0;
    virtual BOOL setupComm(HANDLE port, DWORD inQueue, DWORD outQueue) = 0;
    virtual BOOL setCommTimeouts(HANDLE port, COMMTIMEOUTS* timeouts) = 0;
    virtual BOOL purgeComm(HANDLE port, DWORD flags) = 0;
    virtual BOOL clearCommError(HANDLE port, DWORD* errors, COMSTAT* status) = 0;
    virtual BOOL readFile(HANDLE port, void* buffer, DWORD count, DWORD* received) = 0;
    virtual BOOL writeFile(HANDLE port, const void* data, DWORD count, DWORD* written) = 0;
    virtual BOOL closeHandle(HANDLE port) = 0;
    virtual DWORD lastError() = 0;
};

// The system's own functions.
CommApi& systemCommApi();

// Driver queue sizes asked for at configuration, each direction.
constexpr DWORD kComQueueSize = 1024;

class Win32SerialPort : public SerialLine {
public:
    explicit Win32SerialPort(CommApi& api = systemCommApi()) : api_(api) {}
    ~Win32SerialPort() override;
    Win32SerialPort(const Win32SerialPort&) = delete;
    Win32SerialPort& operator=(const Win32SerialPort&) = delete;

    // "\\.\COM<n>". ENOENT when no such port exists, EBUSY when another program holds it.
    int open(const std::string& path) override;
    void close() override;
    bool isOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }
    // The driver's settings with 8N1 at `baudRate`, binary, no flow control or character
    // replacement, DTR and RTS on, no abort on error; queues of kComQueueSize; the time-outs.
    int configure(uint32_t baudRate) override;
    // Kept, and given to the driver at once when the port is open.
    void setTimeouts(const SerialTimeouts& timeouts) override;
    int read(uint8_t* buffer, size_t count, size_t& received) override;
    int write(const uint8_t* data, size_t count, size_t& written) override;
    int bytesWaiting(size_t& count) override;
    // Aborts and clears both directions.
    int purge() override;

private:
    int failed();  // the errno value of the last failed call
    int applyTimeouts();

    CommApi& api_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    SerialTimeouts timeouts_{};
};

}  // namespace platform

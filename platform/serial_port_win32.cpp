#include "platform/serial_port_win32.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <memory>

#include "platform/com_port.h"

namespace platform {

namespace {

class SystemCommApi : public CommApi {
public:
    HANDLE createFile(const char* name) override {
        return ::CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                             nullptr);
    }
    BOOL getCommState(HANDLE port, DCB* settings) override {
        return ::GetCommState(port, settings);
    }
    BOOL setCommState(HANDLE port, DCB* settings) override {
        return ::SetCommState(port, settings);
    }
    BOOL setupComm(HANDLE port, DWORD inQueue, DWORD outQueue) override {
        return ::SetupComm(port, inQueue, outQueue);
    }
    BOOL setCommTimeouts(HANDLE port, COMMTIMEOUTS* timeouts) override {
        return ::SetCommTimeouts(port, timeouts);
    }
    BOOL purgeComm(HANDLE port, DWORD flags) override { return ::PurgeComm(port, flags); }
    BOOL clearCommError(HANDLE port, DWORD* errors, COMSTAT* status) override {
        return ::ClearCommError(port, errors, status);
    }
    BOOL readFile(HANDLE port, void* buffer, DWORD count, DWORD* received) override {
        return ::ReadFile(port, buffer, count, received, nullptr);
    }
    BOOL writeFile(HANDLE port, const void* data, DWORD count, DWORD* written) override {
        return ::WriteFile(port, data, count, written, nullptr);
    }
    BOOL closeHandle(HANDLE port) override { return ::CloseHandle(port); }
    DWORD lastError() override { return ::GetLastError(); }
};

int errnoOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return EBUSY;
        case ERROR_INVALID_HANDLE:
            return EBADF;
        default:
            return EIO;
    }
}

// A single call moves at most this much; SerialLine counts in size_t.
DWORD clampedCount(size_t count) {
    return count > MAXDWORD ? MAXDWORD : DWORD(count);
}

}  // namespace

CommApi& systemCommApi() {
    static SystemCommApi api;
    return api;
}

Win32SerialPort::~Win32SerialPort() {
    close();
}

int Win32SerialPort::failed() {
    return errnoOf(api_.lastError());
}

int Win32SerialPort::open(const std::string& path) {
    close();
    const HANDLE handle = api_.createFile(path.c_str());
    if (handle == INVALID_HANDLE_VALUE)
        return failed();
    handle_ = handle;
    return 0;
}

void Win32SerialPort::close() {
    if (handle_ == INVALID_HANDLE_VALUE)
        return;
    api_.closeHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
}

int Win32SerialPort::configure(uint32_t baudRate) {
    if (!isOpen())
        return EBADF;
    DCB settings{};
    settings.DCBlength = sizeof settings;
    if (!api_.getCommState(handle_, &settings))
        return failed();
    settings.BaudRate = baudRate;
    settings.ByteSize = 8;
    settings.Parity = NOPARITY;
    settings.StopBits = ONESTOPBIT;
    settings.fBinary = TRUE;
    settings.fParity = FALSE;
    settings.fOutxCtsFlow = FALSE;
    settings.fOutxDsrFlow = FALSE;
    settings.fDtrControl = DTR_CONTROL_ENABLE;
    settings.fDsrSensitivity = FALSE;
    settings.fTXContinueOnXoff = FALSE;
    settings.fOutX = FALSE;
    settings.fInX = FALSE;
    settings.fErrorChar = FALSE;
    settings.fRtsControl = RTS_CONTROL_ENABLE;
    settings.fAbortOnError = FALSE;
    // fNull stays as the driver reports it.
    if (!api_.setCommState(handle_, &settings))
        return failed();
    if (!api_.setupComm(handle_, kComQueueSize, kComQueueSize))
        return failed();
    return applyTimeouts();
}

void Win32SerialPort::setTimeouts(const SerialTimeouts& timeouts) {
    timeouts_ = timeouts;
    if (isOpen())
        applyTimeouts();
}

int Win32SerialPort::applyTimeouts() {
    COMMTIMEOUTS driver{};
    driver.ReadIntervalTimeout = timeouts_.readIntervalMs;
    driver.ReadTotalTimeoutMultiplier = timeouts_.readTotalMultiplierMs;
    driver.ReadTotalTimeoutConstant = timeouts_.readTotalConstantMs;
    driver.WriteTotalTimeoutMultiplier = timeouts_.writeTotalMultiplierMs;
    driver.WriteTotalTimeoutConstant = timeouts_.writeTotalConstantMs;
    return api_.setCommTimeouts(handle_, &driver) ? 0 : failed();
}

int Win32SerialPort::read(uint8_t* buffer, size_t count, size_t& received) {
    received = 0;
    if (!isOpen())
        return EBADF;
    if (count == 0)
        return 0;
    DWORD got = 0;
    if (!api_.readFile(handle_, buffer, clampedCount(count), &got))
        return failed();
    received = got;
    return 0;
}

int Win32SerialPort::write(const uint8_t* data, size_t count, size_t& written) {
    written = 0;
    if (!isOpen())
        return EBADF;
    if (count == 0)
        return 0;
    DWORD put = 0;
    if (!api_.writeFile(handle_, data, clampedCount(count), &put))
        return failed();
    written = put;
    return 0;
}

int Win32SerialPort::bytesWaiting(size_t& count) {
    count = 0;
    if (!isOpen())
        return EBADF;
    DWORD errors = 0;
    COMSTAT status{};
    if (!api_.clearCommError(handle_, &errors, &status))
        return failed();
    count = status.cbInQue;
    return 0;
}

int Win32SerialPort::purge() {
    if (!isOpen())
        return EBADF;
    const DWORD both = PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR;
    return api_.purgeComm(handle_, both) ? 0 : failed();
}

std::unique_ptr<SerialLine> makeSerialPort() {
    return std::make_unique<Win32SerialPort>();
}

int useDeviceForComPort(int, const std::string&) {
    return ENOTSUP;
}

std::string canonicalDevicePath(const std::string& path) {
    std::string name = path.rfind("\\\\.\\", 0) == 0 ? path.substr(4) : path;
    for (char& c : name)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return name;
}

std::string comPortPath(int portNumber) {
    char name[20];
    std::snprintf(name, sizeof name, "\\\\.\\COM%d", portNumber);
    return name;
}

}  // namespace platform

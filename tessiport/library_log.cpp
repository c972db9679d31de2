#include "tessiport/library_log.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/regular_file.h"
#include "tessiport/include/tessiport.h"
#include "tessiport/log_file.h"
#include "tessiport/message_box.h"

namespace tessiport {

namespace {
constexpr size_t kLineSize = 300;
constexpr size_t kLineText = kLineSize - 3;  // room for CR LF and the terminating NUL
constexpr size_t kMessageText = 1000;
constexpr size_t kNameLimit = 100;  // a log file name must be shorter
constexpr int64_t kMsPerDay = 24 * 3600 * 1000;

std::atomic<uint32_t> logBitsNow{level::kError | level::kInfo};
std::atomic<uint32_t> errorMessageFlags{0};
std::atomic<TP_ErrorCallback> errorCallback{nullptr};
std::atomic<int64_t> previousLineMs{-1};  // -1: no line written with the difference prefix yet

// Guards the descriptor so that a line is never written to a file being replaced or closed.
std::mutex logFileMutex;
int logFileHandle = -1;

namespace error_flag {
constexpr uint32_t kEnable = 1;
constexpr uint32_t kMessageBox = 2;
constexpr uint32_t kCallback = 4;
constexpr uint32_t kStandardOutput = 8;
}  // namespace error_flag

// Appends to a line, cut to the room left.
void appendv(char* line, size_t& used, const char* format, va_list args) {
    if (used >= kLineText) return;
    const int written = std::vsnprintf(line + used, kLineText - used + 1, format, args);
    if (written > 0) used += std::min(size_t(written), kLineText - used);
}

void append(char* line, size_t& used, const char* format, ...) __attribute__((format(printf, 3, 4)));
void append(char* line, size_t& used, const char* format, ...) {
    va_list args;
    va_start(args, format);
    appendv(line, used, format, args);
    va_end(args);
}

bool writeWhole(int fd, const char* text, size_t size) {
    return ::write(fd, text, size) == ssize_t(size);
}

// The line written when a log file ends; the caller holds logFileMutex.
void endLogLocked() {
    if (logFileHandle < 0) return;
    const LocalTime now = localNow();
    char line[64];
    const int size = std::snprintf(line, sizeof line, "TESSIPORT logfile ended %02d:%02d.%02d\r\n\r\n",
                                   now.fields.tm_hour, now.fields.tm_min, now.fields.tm_sec);
    writeWhole(logFileHandle, line, size_t(size));
    ::close(logFileHandle);
    logFileHandle = -1;
}

class LibraryLogSink : public protocol::LogSink {
public:
    void logv(const char* format, va_list args) override {
        char text[kLineSize];
        std::vsnprintf(text, sizeof text, format, args);
        LogMessage(0, 1, "%s", text);
    }
};
}  // namespace

LocalTime localNow() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    LocalTime local;
    ::localtime_r(&now.tv_sec, &local.fields);
    local.millisecond = int(now.tv_nsec / 1000000);
    return local;
}

void adoptLogFile(int fd) {
    int previous = -1;
    {
        std::lock_guard<std::mutex> guard(logFileMutex);
        previous = logFileHandle;
        logFileHandle = fd;
    }
    if (previous >= 0 && previous != fd) ::close(previous);
}

void writeLogText(const char* text, size_t size) {
    std::lock_guard<std::mutex> guard(logFileMutex);
    // Opened with O_APPEND: each line lands whole at the end, also with other processes writing.
    if (logFileHandle >= 0) writeWhole(logFileHandle, text, size);
}

void setLogBits(uint32_t bits) { logBitsNow = bits; }
uint32_t logBits() { return logBitsNow; }

bool logFileIsOpen() {
    std::lock_guard<std::mutex> guard(logFileMutex);
    return logFileHandle >= 0;
}

protocol::LogSink& libraryLogSink() {
    static LibraryLogSink sink;
    return sink;
}

void LogMessage(uint32_t levelBits, uint32_t value, const char* format, ...) {
    if (levelBits == 0) levelBits = level::kError;
    const uint32_t bits = logBitsNow;
    if ((levelBits & bits) == 0) return;

    char line[kLineSize];
    size_t used = 0;
    line[0] = '\0';
    const LocalTime now = localNow();
    if (bits & level::kTimeOfDay)
        append(line, used, "%02d:%02d:%02d.%03d ", now.fields.tm_hour, now.fields.tm_min,
               now.fields.tm_sec, now.millisecond);
    if (bits & level::kSincePrevious) {
        const int64_t msOfDay = int64_t(now.fields.tm_hour) * 3600000 +
                                int64_t(now.fields.tm_min) * 60000 +
                                int64_t(now.fields.tm_sec) * 1000 + now.millisecond;
        const int64_t previous = previousLineMs.exchange(msOfDay);
        int64_t difference = previous < 0 ? 0 : msOfDay - previous;
        if (difference < 0) difference += kMsPerDay;  // the day changed between the two lines
        append(line, used, "%06dms ", int(difference % 1000000));
    }
    append(line, used, "0x%04x ", value);
    if (levelBits & level::kError) append(line, used, "ERROR ");
    va_list args;
    va_start(args, format);
    appendv(line, used, format, args);
    va_end(args);

    if (levelBits & level::kError) ShowErrorMessage("%s", line);
    line[used++] = '\r';
    line[used++] = '\n';
    writeLogText(line, used);
}

namespace {

// Reports held while this thread is inside a call, one after another: their flags, their text
// and a NUL. Plain data: a thread-local object with a destructor is not to be trusted in a library
// that hosts load and unload at run time. A call reports a few dozen lines at the most (a COM
// port's every read and write is one); what does not fit is left to the log file.
constexpr size_t kHeldBytes = 16384;
struct HeldReports {
    int depth;
    size_t used;
    char bytes[kHeldBytes];
};
thread_local HeldReports held;

void handOver(uint32_t flags, const char* text) {
    if (flags & error_flag::kMessageBox) showMessageBox(text);
    if (flags & error_flag::kCallback) {
        const TP_ErrorCallback callback = errorCallback;
        if (callback != nullptr) callback(text);
    }
    if (flags & error_flag::kStandardOutput) {
        std::printf("%s\n", text);
        std::fflush(stdout);
    }
}

}  // namespace

void ShowErrorMessage(const char* format, ...) {
    const uint32_t flags = errorMessageFlags;
    if ((flags & error_flag::kEnable) == 0) return;
    char text[kMessageText + 1];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (held.depth == 0) {
        handOver(flags, text);
        return;
    }
    const size_t size = sizeof flags + std::strlen(text) + 1;
    if (held.used + size > kHeldBytes) return;
    std::memcpy(held.bytes + held.used, &flags, sizeof flags);
    std::memcpy(held.bytes + held.used + sizeof flags, text, size - sizeof flags);
    held.used += size;
}

HostReportsOnReturn::HostReportsOnReturn() { ++held.depth; }

HostReportsOnReturn::~HostReportsOnReturn() {
    if (--held.depth != 0) return;
    // First in, first out. A call the host makes from its callback hands over what is still
    // held before its own reports.
    while (held.used > 0) {
        uint32_t flags = 0;
        std::memcpy(&flags, held.bytes, sizeof flags);
        char text[kMessageText + 1];
        const size_t size = sizeof flags + std::strlen(held.bytes + sizeof flags) + 1;
        std::memcpy(text, held.bytes + sizeof flags, size - sizeof flags);
        held.used -= size;
        std::memmove(held.bytes, held.bytes + size, held.used);
        handOver(flags, text);
    }
}

void endLog() {
    std::lock_guard<std::mutex> guard(logFileMutex);
    endLogLocked();
}

void closeLog() { adoptLogFile(-1); }

}  // namespace tessiport

using namespace tessiport;

extern "C" TESSIPORT_API uint32_t Enable_Error_Messages(
    uint32_t mode, TP_ErrorCallback callback) {
    errorCallback = callback;
    errorMessageFlags = mode;
    ShowErrorMessage("%s", "Errormessages will appear");
    return TP_OK;
}

extern "C" TESSIPORT_API uint32_t Enable_Message_Log(
    uint32_t log_bits, const char* file_name) {
    if (log_bits == 0) {
        endLog();
        return TP_OK;
    }
    if (file_name != nullptr && std::strlen(file_name) >= kNameLimit) {
        LogMessage(level::kError, 1, "Enable_Message_Log: file name of %u characters refused",
                   unsigned(std::strlen(file_name)));
        return TP_ERR_MISSING_FUNCTION;
    }
    setLogBits(log_bits);
    const char* path = file_name != nullptr ? file_name : "tessiport.log";

    // Whether this call created the file decides whether a failed first write may delete it: an
    // existing log is never removed.
    bool created = true;
    int fd = platform::createRegularFile(path, platform::FileAccess::Append);
    if (fd < 0 && errno == EEXIST) {
        // A name that is not a regular file (a FIFO would block the open) is refused.
        created = false;
        fd = platform::openRegularFile(path, platform::FileAccess::Append);
    }
    if (fd < 0) {
        adoptLogFile(-1);
        return TP_ERR_MISSING_FUNCTION;
    }
    const LocalTime now = localNow();
    char line[96];
    const int size = std::snprintf(
        line, sizeof line, "TESSIPORT logfile log started %02d.%02d.%04d %02d:%02d.%02d\r\n\r\n",
        now.fields.tm_mday, now.fields.tm_mon + 1, now.fields.tm_year + 1900, now.fields.tm_hour,
        now.fields.tm_min, now.fields.tm_sec);
    if (!writeWhole(fd, line, size_t(size))) {
        ::close(fd);
        if (created) platform::removeRegularFile(path);
        adoptLogFile(-1);
        return TP_ERR_MISSING_FUNCTION;
    }
    adoptLogFile(fd);
    return TP_OK;
}

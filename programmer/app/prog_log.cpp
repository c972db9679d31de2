#include "programmer/app/prog_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <ctime>

namespace app {

namespace {

constexpr size_t kLineBuffer = 200;
constexpr size_t kLineTextMax = kLineBuffer - 3;  // room for CR, LF and the terminator

int logFile = -1;  // the process-wide handle; -1 while logging is off
std::string failedOpen;  // what the last failed OpenLog tried to open, and why
bool holding = false;    // lines wait in `held` for OpenLog
std::string held;

// The descriptor appends: every write lands at the end, also when other processes append
// meanwhile. Failures are ignored.
void appendToLog(const char* text, size_t length) {
    if (holding) {
        held.append(text, length);
        return;
    }
    if (logFile < 0) return;
    while (length > 0) {
        const ssize_t written = write(logFile, text, length);
        if (written <= 0) return;
        text += written;
        length -= static_cast<size_t>(written);
    }
}

}  // namespace

LocalTime CurrentLocalTime() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    return {parts.tm_hour, parts.tm_min, parts.tm_sec, parts.tm_mday, parts.tm_mon + 1,
            parts.tm_year + 1900};
}

bool OpenLog(const std::string& path, const LocalTime& now) {
    if (logFile >= 0) return true;
    holding = false;
    logFile = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (logFile < 0) {
        const int error = errno;
        held.clear();
        char folder[4096];
        const bool named = path.find('/') != std::string::npos;
        const std::string where = named || getcwd(folder, sizeof folder) == nullptr
                                      ? path
                                      : std::string(folder) + "/" + path;
        failedOpen = "Cannot log to " + where + ": " + std::strerror(error) +
                     (error == EISDIR ? " (a folder has that name)" : "") +
                     "; logging is off for this run.";
        return false;
    }
    char line[kLineBuffer];
    const int length = std::snprintf(line, sizeof line,
                                     "Logging to prog_log.txt started %02d:%02d:%02d %02d.%02d.%04d\r\n\r\n",
                                     now.hour, now.minute, now.second, now.day, now.month, now.year);
    if (length > 0) appendToLog(line, std::min(static_cast<size_t>(length), sizeof line - 1));
    appendToLog(held.data(), held.size());
    held.clear();
    return true;
}

void HoldLogUntilOpened() {
    if (logFile < 0) holding = true;
}

void CloseLog(const LocalTime& now) {
    if (logFile < 0) return;
    char line[kLineBuffer];
    const int length = std::snprintf(line, sizeof line, "Logging ended %02d:%02d.%02d\r\n\r\n",
                                     now.hour, now.minute, now.second);
    if (length > 0) appendToLog(line, std::min(static_cast<size_t>(length), sizeof line - 1));
    close(logFile);
    logFile = -1;
}

bool LogIsOpen() { return logFile >= 0; }

std::string LogOpenFailure() { return failedOpen; }

void LogVPrintf(const char* format, va_list args) {
    if (logFile < 0 && !holding) return;
    char line[kLineBuffer];
    const int formatted = std::vsnprintf(line, kLineTextMax + 1, format, args);
    if (formatted < 0) return;
    size_t length = std::min(static_cast<size_t>(formatted), kLineTextMax);
    line[length++] = '\r';
    line[length++] = '\n';
    appendToLog(line, length);
}

void LogPrintf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    LogVPrintf(format, args);
    va_end(args);
}

}  // namespace app

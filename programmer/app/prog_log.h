#pragma once
// The programmer's log file "prog_log.txt": opened at start-up by -L, appended to by LogPrintf
// (one CR LF line per call, written at once), closed with its end line at exit. One per process.

#include <cstdarg>
#include <string>

#include "protocol/log_sink.h"

namespace app {

constexpr const char* kLogFileName = "prog_log.txt";

struct LocalTime {
    int hour = 0;
    int minute = 0;
    int second = 0;
    int day = 0;
    int month = 0;
    int year = 0;
};
LocalTime CurrentLocalTime();

// Opens (or creates) the log, keeping its content, and appends the start line and a blank line.
// Returns false when the file cannot be opened; logging then stays off. A second call while the
// log is open changes nothing.
bool OpenLog(const std::string& path, const LocalTime& now);
// Appends the end line and a blank line and closes the log; nothing when it is not open.
void CloseLog(const LocalTime& now);
bool LogIsOpen();
// Logging starts before the file is known: lines are kept until OpenLog names the file, then
// written after its start line (a camera's log named by the serial number read on connecting).
void HoldLogUntilOpened();
// After OpenLog returned false: which file could not be opened and why, one line.
std::string LogOpenFailure();

// One log line: at most 197 characters of text (longer text is cut), then CR LF.
void LogPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
void LogVPrintf(const char* format, va_list args);

// LogPrintf as the sink of the COM-port transport.
class LogPrintfSink : public protocol::LogSink {
public:
    void logv(const char* format, va_list args) override { LogVPrintf(format, args); }
};

}  // namespace app

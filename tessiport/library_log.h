#pragma once
// The library's level-masked log writer, its error message output, and the parameter file.

#include <cstdint>

#include "protocol/log_sink.h"
#include "tessiport/driver_entry.h"

namespace tessiport {

namespace level {
constexpr uint32_t kError = 0x1;
constexpr uint32_t kInfo = 0x2;
constexpr uint32_t kFirmwareRevision = 0x20;
constexpr uint32_t kTrace = 0x40;
constexpr uint32_t kTimeOfDay = 0x1000;
constexpr uint32_t kSincePrevious = 0x2000;
constexpr uint32_t kStartup = 0x10000;
constexpr uint32_t kTelegram = 0x20000;
}  // namespace level

// One log line; `value` is shown as a hexadecimal column (the operation's handle, or 1).
void LogMessage(uint32_t levelBits, uint32_t value, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// The error message output (message box through the host's user interface, callback, stdout).
void ShowErrorMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Host code (the message box, the error callback) runs only while its thread is not inside a
// call of the library: what a call reports is handed over as the call returns, when it holds no
// lock and uses no channel. The host may then call in again from its callback (send a command,
// close the board) without waiting for the very call the report came from. Every export that
// takes a lock or uses a channel makes one of these before anything else.
class HostReportsOnReturn {
public:
    HostReportsOnReturn();
    ~HostReportsOnReturn();
    HostReportsOnReturn(const HostReportsOnReturn&) = delete;
    HostReportsOnReturn& operator=(const HostReportsOnReturn&) = delete;
};

// Reads the parameter file; fills `block` when given. 0 or 0xA00A3004.
uint32_t get_param_file(TransferParametersBlock* block);

// Telegram dumps written when the log file is open.
void logCommandDump(uint32_t value, const uint8_t* telegram, uint32_t size);
void logReplyDump(uint32_t value, const uint8_t* telegram, uint32_t size);

// Process attach of the process that created the shared block: folder, paths, log file.
// `folder`, `logPath`, `paramPath` are the shared block's 260-byte fields.
void setUpLog(char* folder, char* logPath, char* paramPath);
// Attach of a later process: use the paths already in the shared block.
void usePaths(const char* folder, const char* logPath, const char* paramPath);
// The last detach: ends the log if one is open.
void endLog();
// A detach that leaves other processes attached: closes the log without ending it.
void closeLog();

// The process's log selection (3 at load; the parameter file's LOGGING key and
// Enable_Message_Log change it) and whether a log file is open.
uint32_t logBits();
bool logFileIsOpen();

// Where the protocol code linked into the library writes: level 0 lines, so they are error lines.
protocol::LogSink& libraryLogSink();

}  // namespace tessiport

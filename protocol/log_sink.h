#pragma once
// Where the protocol code writes its log lines. Each deliverable supplies its own sink: the
// programmer its LogPrintf, the library its level-masked writer.

#include <cstdarg>

namespace protocol {

class LogSink {
public:
    virtual ~LogSink() = default;
    virtual void logv(const char* format, va_list args) = 0;

    void log(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        va_list args;
        va_start(args, format);
        logv(format, args);
        va_end(args);
    }
};

// Discards everything; for code paths and tests that need no log.
class NullLogSink : public LogSink {
public:
    void logv(const char*, va_list) override {}
};

}  // namespace protocol

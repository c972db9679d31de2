#pragma once
// A log sink that keeps every line.

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "protocol/log_sink.h"

namespace testing_support {

class RecordingLog : public protocol::LogSink {
public:
    void logv(const char* format, va_list args) override {
        char line[512];
        std::vsnprintf(line, sizeof line, format, args);
        std::lock_guard lock(mutex_);
        lines_.emplace_back(line);
    }
    std::vector<std::string> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    size_t count(const std::string& line) const {
        const auto all = lines();
        return size_t(std::count(all.begin(), all.end(), line));
    }
    bool has(const std::string& line) const { return count(line) > 0; }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

}  // namespace testing_support

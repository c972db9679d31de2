#pragma once
// The pieces of the log writer that its set-up and the parameter file share.

#include <cstddef>
#include <cstdint>
#include <ctime>

namespace tessiport {

struct LocalTime {
    std::tm fields{};
    int millisecond = 0;
};
LocalTime localNow();

// Makes `fd` the process's log file (or none for -1); the previous one is closed.
void adoptLogFile(int fd);
// Appends `text` to the log file with one write call, if one is open.
void writeLogText(const char* text, size_t size);
void setLogBits(uint32_t bits);

// The parameter file path of this process; empty when none was set up.
const char* parameterFilePath();

}  // namespace tessiport

#pragma once
// The creation time of a file, as far as the file system keeps one.

#include <string>

namespace platform {

// Broken-down time in UTC.
struct UtcTime {
    int year = 0;
    int month = 0;  // 1-12
    int day = 0;    // 1-31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Creation time of the file in UTC: its birth time where the file system records one, else the
// time it was last modified. Returns 0 or an errno value.
int fileCreationTimeUtc(const std::string& path, UtcTime& time);

}  // namespace platform

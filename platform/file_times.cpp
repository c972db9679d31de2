#include "platform/file_times.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <ctime>

namespace platform {

int fileCreationTimeUtc(const std::string& path, UtcTime& time) {
    struct statx info {};
    if (statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME | STATX_MTIME, &info) != 0)
        return errno;

    // Many file systems (and older kernels) have no birth time; the modification time is the
    // closest stand-in they offer.
    const bool hasBirth = (info.stx_mask & STATX_BTIME) != 0;
    const time_t seconds = hasBirth ? time_t(info.stx_btime.tv_sec) : time_t(info.stx_mtime.tv_sec);

    std::tm broken{};
    if (gmtime_r(&seconds, &broken) == nullptr)
        return EOVERFLOW;
    time.year = broken.tm_year + 1900;
    time.month = broken.tm_mon + 1;
    time.day = broken.tm_mday;
    time.hour = broken.tm_hour;
    time.minute = broken.tm_min;
    time.second = broken.tm_sec;
    return 0;
}

}  // namespace platform

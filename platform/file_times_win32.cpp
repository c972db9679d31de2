#include <windows.h>

#include <cerrno>

#include "platform/file_times.h"
#include "platform/wide_text.h"

namespace platform {

int fileCreationTimeUtc(const std::string& path, UtcTime& time) {
    const HANDLE file =
        ::CreateFileW(widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return ::GetLastError() == ERROR_ACCESS_DENIED ? EACCES : ENOENT;
    FILETIME created{};
    const BOOL read = ::GetFileTime(file, &created, nullptr, nullptr);
    ::CloseHandle(file);
    SYSTEMTIME broken{};
    if (!read || !::FileTimeToSystemTime(&created, &broken))
        return EIO;
    time.year = broken.wYear;
    time.month = broken.wMonth;
    time.day = broken.wDay;
    time.hour = broken.wHour;
    time.minute = broken.wMinute;
    time.second = broken.wSecond;
    return 0;
}

}  // namespace platform

#include "programmer/files/append_record.h"

#include <windows.h>

#include <cerrno>

#include "platform/wide_text.h"

namespace files {

int appendRecord(const std::string& path, const std::string& record) {
    // Opened for appending only, every write goes to the end as one piece.
    const HANDLE file =
        CreateFileW(platform::widen(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_ACCESS_DENIED ? EACCES : ENOENT;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, record.data(), DWORD(record.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == record.size() ? 0 : ENOSPC;
}

}  // namespace files

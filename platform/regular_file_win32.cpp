// Regular files on Windows, opened with CreateFileW and handed out as C run-time descriptors, so
// that the callers' read, write and close work on them as elsewhere. Shared for reading and
// writing, so that several processes append to one log. Paths arrive in UTF-8.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cerrno>

#include "platform/regular_file.h"
#include "platform/wide_text.h"

namespace platform {

namespace {
int openFile(const char* path, FileAccess access, DWORD disposition) {
    // Append: FILE_APPEND_DATA without FILE_WRITE_DATA puts every write at the end of the file.
    const DWORD rights =
        access == FileAccess::Read ? GENERIC_READ : GENERIC_READ | FILE_APPEND_DATA;
    HANDLE file = ::CreateFileW(widen(path).c_str(), rights, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, disposition,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        errno = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? EEXIST
                : error == ERROR_ACCESS_DENIED                              ? EACCES
                                                                            : ENOENT;
        return -1;
    }
    // A device (a COM port, a pipe) is no file to read.
    if (::GetFileType(file) != FILE_TYPE_DISK) {
        ::CloseHandle(file);
        errno = EINVAL;
        return -1;
    }
    const int flags = _O_BINARY | (access == FileAccess::Read ? _O_RDONLY : _O_RDWR | _O_APPEND);
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(file), flags);
    if (fd < 0)
        ::CloseHandle(file);
    return fd;
}
}  // namespace

int openRegularFile(const char* path, FileAccess access) {
    const DWORD attributes = ::GetFileAttributesW(widen(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        errno = EINVAL;
        return -1;
    }
    return openFile(path, access, OPEN_EXISTING);
}

int createRegularFile(const char* path, FileAccess access) {
    return openFile(path, access, CREATE_NEW);
}

int removeRegularFile(const char* path) {
    if (::DeleteFileW(widen(path).c_str()))
        return 0;
    return ::GetLastError() == ERROR_ACCESS_DENIED ? EACCES : ENOENT;
}

}  // namespace platform

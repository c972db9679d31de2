#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/wide_text.h"
#include "programmer/files/file_probe.h"

namespace files {

bool pathExists(const std::string& path) {
    return ::GetFileAttributesW(platform::widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool isRegularFile(const std::string& path) {
    struct _stat64 info {};
    return ::_wstat64(platform::widen(path).c_str(), &info) == 0 &&
           (info.st_mode & _S_IFMT) == _S_IFREG;
}

int checkCanCreate(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(platform::widen(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return EISDIR;
    const size_t separator = path.find_last_of("/\\");
    const std::string folder =
        separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
    const std::wstring probe =
        platform::widen(folder + ".kf-probe-" + std::to_string(::_getpid()) + ".tmp");
    const int fd = ::_wopen(probe.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_NOINHERIT,
                            _S_IREAD | _S_IWRITE);
    if (fd < 0)
        return errno;
    ::_close(fd);
    ::DeleteFileW(probe.c_str());
    return 0;
}

}  // namespace files

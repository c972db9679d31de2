#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>

#include <cerrno>

#include "programmer/files/file_probe.h"

namespace files {

bool pathExists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

int checkCanCreate(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return EISDIR;
    const size_t separator = path.find_last_of("/\\");
    const std::string folder =
        separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
    const std::string probe = folder + ".kf-probe-" + std::to_string(::_getpid()) + ".tmp";
    const int fd = ::_open(probe.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_NOINHERIT,
                           _S_IREAD | _S_IWRITE);
    if (fd < 0)
        return errno;
    ::_close(fd);
    ::DeleteFileA(probe.c_str());
    return 0;
}

}  // namespace files

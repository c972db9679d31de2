#include "programmer/files/file_probe.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "programmer/files/file_io.h"

namespace files {

bool pathExists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

bool isRegularFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

int checkCanCreate(const std::string& path) {
    const std::string target = writeTarget(path);
    struct stat info {};
    const bool exists = ::stat(target.c_str(), &info) == 0;
    if (exists && S_ISDIR(info.st_mode))
        return EISDIR;
    const std::string probe = folderOf(target) + ".kf-probe-" + std::to_string(::getpid()) + ".tmp";
    int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
        ::unlink(probe.c_str());
        return 0;
    }
    const int error = errno;
    if (!exists || !S_ISREG(info.st_mode) || !isFolderRefusal(error))
        return error;
    // Opened for writing without truncating: the file stays as it is.
    fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    ::close(fd);
    return 0;
}

}  // namespace files

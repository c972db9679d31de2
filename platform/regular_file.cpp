#include "platform/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

namespace {
int accessFlags(FileAccess access) {
    return access == FileAccess::Read ? O_RDONLY : O_RDWR | O_APPEND;
}
}  // namespace

int openRegularFile(const char* path, FileAccess access) {
    // O_NONBLOCK: opening a FIFO then returns at once (and is refused below) instead of waiting
    // for a writer or reader.
    const int fd = ::open(path, accessFlags(access) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int createRegularFile(const char* path, FileAccess access) {
    return ::open(path, accessFlags(access) | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0600);
}

int removeRegularFile(const char* path) {
    return ::unlink(path) == 0 ? 0 : errno;
}

}  // namespace platform

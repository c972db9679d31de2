#include "programmer/files/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "programmer/files/file_descriptor.h"

namespace files {

long readDescriptor(int fd, uint8_t* data, size_t size) {
    for (;;) {
        const ssize_t got = ::read(fd, data, size);
        if (got >= 0 || errno != EINTR)
            return long(got);
    }
}

long writeDescriptor(int fd, const uint8_t* data, size_t size) {
    for (;;) {
        const ssize_t written = ::write(fd, data, size);
        if (written >= 0 || errno != EINTR)
            return long(written);
    }
}

int closeDescriptor(int fd) {
    return ::close(fd) == 0 ? 0 : errno;
}

int syncDescriptor(int fd) {
    return ::fsync(fd) == 0 ? 0 : errno;
}

int createExclusive(const std::string& path) {
    // 0666 and the process's umask, as for any file the user creates.
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

unsigned processId() {
    return unsigned(::getpid());
}

namespace {
// Overwrites the existing file `path` with `bytes`.
int writeInPlace(const std::string& path, const std::vector<uint8_t>& bytes) {
    Descriptor file(::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
    if (file.get() < 0)
        return errno;
    return writeSyncClose(file, bytes);
}
}  // namespace

int openRegularFile(const std::string& path, uint64_t maxSize, int& fd, size_t& size) {
    fd = -1;
    Descriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0)
        return errno;
    struct stat info {};
    if (::fstat(file.get(), &info) != 0)
        return errno;
    if (!S_ISREG(info.st_mode))
        return kErrNotRegularFile;
    if (info.st_size < 0 || uint64_t(info.st_size) > maxSize)
        return kErrFileTooLarge;
    // Reads of a regular file never wait; the flag only kept the open from waiting.
    const int flags = ::fcntl(file.get(), F_GETFL);
    if (flags < 0 || ::fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
        return errno;
    size = size_t(info.st_size);
    fd = file.release();
    return 0;
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool isFolderRefusal(int error) {
    return error == EACCES || error == EPERM || error == EROFS;
}

std::string writeTarget(const std::string& path) {
    std::string target = path;
    // As many hops as the system follows before it gives up with ELOOP.
    for (int hop = 0; hop < 40; ++hop) {
        struct stat info {};
        if (::lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return target;
        char link[4096];
        const ssize_t length = ::readlink(target.c_str(), link, sizeof link);
        if (length <= 0 || size_t(length) == sizeof link)
            return target;  // writing it gives the system's own answer
        const std::string next(link, size_t(length));
        target = next.front() == '/' ? next : folderOf(target) + next;
    }
    return target;
}

int writeFileSafely(const std::string& path, const std::vector<uint8_t>& bytes) {
    const std::string target = writeTarget(path);
    const std::string folder = folderOf(target);
    const std::string name = target.substr(folder.size());
    if (name.empty())
        return EISDIR;
    struct stat old {};
    const bool replacing = ::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);

    std::string temporary;
    int fd = -1;
    if (const int error = createTemporaryBeside(folder, name, temporary, fd)) {
        // A folder that takes no new file: the old file itself is written, now that every byte
        // is ready.
        return replacing && isFolderRefusal(error) ? writeInPlace(target, bytes) : error;
    }

    Descriptor file(fd);
    int error = 0;
    if (replacing) {
        // The new file keeps the old one's owner (where it may) and permissions.
        [[maybe_unused]] const int owned = ::fchown(file.get(), old.st_uid, old.st_gid);
        if (::fchmod(file.get(), old.st_mode & 07777) != 0)
            error = errno;
    }
    if (error == 0)
        error = writeSyncClose(file, bytes);
    if (error == 0 && ::rename(temporary.c_str(), target.c_str()) != 0)
        error = errno;
    if (error != 0)
        ::unlink(temporary.c_str());
    return error;
}

}  // namespace files

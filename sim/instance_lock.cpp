#include "sim/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sim {

namespace {

// The process id the holder wrote, or an empty text when it has not written it yet.
std::string holderId(int fd) {
    char text[16] = {};
    const ssize_t length = pread(fd, text, sizeof text - 1, 0);
    std::string id(text, length > 0 ? size_t(length) : 0);
    if (!id.empty() && id.back() == '\n') id.pop_back();
    return id.find_first_not_of("0123456789") == std::string::npos ? id : std::string();
}

bool sameFile(int fd, const std::string& path) {
    struct stat held{};
    struct stat named{};
    return fstat(fd, &held) == 0 && stat(path.c_str(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

}  // namespace

std::unique_ptr<InstanceLock> InstanceLock::acquire(const std::string& path,
                                                    const std::string& what, bool& busy,
                                                    std::string& error) {
    busy = false;
    // A holder that ends removes the file after its last write; a process that locked the
    // removed file tries again with the new one.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) {
            error = "cannot make the lock file " + path + ": " + std::strerror(errno);
            return nullptr;
        }
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int cause = errno;
            const std::string id = cause == EWOULDBLOCK ? holderId(fd) : std::string();
            close(fd);
            if (cause != EWOULDBLOCK) {
                error = "cannot lock " + path + ": " + std::strerror(cause);
                return nullptr;
            }
            busy = true;
            error = what + " is in use by another camsim" +
                    (id.empty() ? std::string() : " (process " + id + ")") + "; lock file " + path;
            return nullptr;
        }
        if (sameFile(fd, path)) {
            const std::string id = std::to_string(getpid()) + "\n";
            const bool written = ftruncate(fd, 0) == 0 &&
                                 pwrite(fd, id.data(), id.size(), 0) == ssize_t(id.size());
            if (!written) {
                error = "cannot write the lock file " + path + ": " + std::strerror(errno);
                unlink(path.c_str());
                close(fd);
                return nullptr;
            }
            return std::unique_ptr<InstanceLock>(new InstanceLock(fd, path));
        }
        close(fd);
    }
    error = "cannot lock " + path + ": it keeps being replaced";
    return nullptr;
}

InstanceLock::~InstanceLock() {
    unlink(path_.c_str());
    close(fd_);
}

}  // namespace sim

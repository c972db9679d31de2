#include "programmer/files/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <new>
#include <string>

namespace files {

namespace {
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes now and reports the close's own failure (delayed write errors show up here).
    int close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0 ? 0 : errno;
    }

private:
    int fd_;
};

int writeAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += written;
        size -= size_t(written);
    }
    return 0;
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

int readWholeFile(const std::string& path, std::vector<uint8_t>& bytes, uint64_t maxSize) {
    bytes.clear();
    int fd = -1;
    size_t size = 0;
    if (const int error = openRegularFile(path, maxSize, fd, size))
        return error;
    Descriptor file(fd);
    try {
        // A file that changes while it is read is read as it is, up to the bound.
        bytes.reserve(size);
        uint8_t chunk[65536];
        for (;;) {
            const ssize_t got = ::read(file.get(), chunk, sizeof chunk);
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                const int error = errno;
                bytes.clear();
                return error;
            }
            if (got == 0)
                break;
            if (bytes.size() + size_t(got) > maxSize) {
                bytes.clear();
                return kErrFileTooLarge;
            }
            bytes.insert(bytes.end(), chunk, chunk + got);
        }
    } catch (const std::bad_alloc&) {
        bytes.clear();
        bytes.shrink_to_fit();
        return ENOMEM;
    }
    return 0;
}

int writeFileSafely(const std::string& path, const std::vector<uint8_t>& bytes) {
    const size_t slash = path.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty())
        return EISDIR;

    static std::atomic<unsigned> counter{0};
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 20 && fd < 0; ++attempt) {
        temporary = folder + "." + name + "." + std::to_string(::getpid()) + "-" +
                    std::to_string(counter++) + ".tmp";
        // 0666 and the process's umask, as for any file the user creates.
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return errno;
    }
    if (fd < 0)
        return EEXIST;

    Descriptor file(fd);
    int error = writeAll(file.get(), bytes.data(), bytes.size());
    if (error == 0 && ::fsync(file.get()) != 0)
        error = errno;
    const int closeError = file.close();
    if (error == 0)
        error = closeError;
    if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0)
        error = errno;
    if (error != 0)
        ::unlink(temporary.c_str());
    return error;
}

}  // namespace files

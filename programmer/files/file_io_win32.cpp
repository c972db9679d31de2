// The file layer on Windows: the C run-time's descriptors in binary mode, which the readers use
// as on Linux; a replacing rename through MoveFileExA, as the run-time's rename refuses an
// existing target.
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <new>
#include <string>

#include "programmer/files/file_io.h"

namespace files {

namespace {
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            ::_close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    int close() {
        const int fd = fd_;
        fd_ = -1;
        return ::_close(fd) == 0 ? 0 : errno;
    }

private:
    int fd_;
};

int writeAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const unsigned chunk = size > 0x40000000 ? 0x40000000u : unsigned(size);
        const int written = ::_write(fd, data, chunk);
        if (written < 0)
            return errno;
        data += written;
        size -= size_t(written);
    }
    return 0;
}

std::string folderOf(const std::string& path) {
    const size_t separator = path.find_last_of("/\\");
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}
}  // namespace

int openRegularFile(const std::string& path, uint64_t maxSize, int& fd, size_t& size) {
    fd = -1;
    // A pipe or a device opens at once here; the type test below refuses it.
    Descriptor file(::_open(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT));
    if (file.get() < 0)
        return errno;
    struct _stat64 info {};
    if (::_fstat64(file.get(), &info) != 0)
        return errno;
    if ((info.st_mode & _S_IFMT) != _S_IFREG)
        return kErrNotRegularFile;
    if (info.st_size < 0 || uint64_t(info.st_size) > maxSize)
        return kErrFileTooLarge;
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
        bytes.reserve(size);
        uint8_t chunk[65536];
        for (;;) {
            const int got = ::_read(file.get(), chunk, sizeof chunk);
            if (got < 0) {
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
    const std::string folder = folderOf(path);
    const std::string name = path.substr(folder.size());
    if (name.empty())
        return EISDIR;

    static std::atomic<unsigned> counter{0};
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 20 && fd < 0; ++attempt) {
        temporary = folder + "." + name + "." + std::to_string(::_getpid()) + "-" +
                    std::to_string(counter++) + ".tmp";
        fd = ::_open(temporary.c_str(),
                     _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                     _S_IREAD | _S_IWRITE);
        if (fd < 0 && errno != EEXIST)
            return errno;
    }
    if (fd < 0)
        return EEXIST;

    Descriptor file(fd);
    int error = writeAll(file.get(), bytes.data(), bytes.size());
    if (error == 0 && ::_commit(file.get()) != 0)
        error = errno;
    const int closeError = file.close();
    if (error == 0)
        error = closeError;
    if (error == 0 && !::MoveFileExA(temporary.c_str(), path.c_str(),
                                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = ::GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
    if (error != 0)
        ::DeleteFileA(temporary.c_str());
    return error;
}

}  // namespace files

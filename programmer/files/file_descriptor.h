#pragma once
// A descriptor of the file layer, closed when it goes out of scope, and the loops that read and
// write whole buffers through it. The calls into the system behind them live in file_io.cpp and
// its Windows twin; what is written here is the same on both.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace files {

// The system's calls: 0 or the errno value. A call interrupted by a signal is repeated.
int closeDescriptor(int fd);
// Bytes read (0 at the end of the file) or -1 with the cause in errno.
long readDescriptor(int fd, uint8_t* data, size_t size);
// Bytes written, at least one, or -1 with the cause in errno.
long writeDescriptor(int fd, const uint8_t* data, size_t size);
// Flushes what was written to the disk.
int syncDescriptor(int fd);
// Creates `path` for writing, failing when it exists already; -1 with the cause in errno.
int createExclusive(const std::string& path);
unsigned processId();

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            closeDescriptor(fd_);
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
    int close() { return closeDescriptor(release()); }

private:
    int fd_;
};

// Writes all of `bytes`, flushes them to the disk and closes the file: the first failure.
int writeSyncClose(Descriptor& file, const std::vector<uint8_t>& bytes);

// Creates a new file beside `name` in `folder` under a name nobody uses: ".NAME.PID-N.tmp".
// On success `fd` is open for writing and `temporary` is its path; else the cause of the first
// refusal that was not a name in use (EEXIST when every name tried was).
int createTemporaryBeside(const std::string& folder, const std::string& name,
                          std::string& temporary, int& fd);

// Writes `bytes` into a new temporary file beside `path`, flushed and closed; `prepare`, when
// given, runs on the open file first (rights). `temporary` names the file whenever it was
// created, failure or not, so that the caller moves it into place or removes it.
int writeTemporaryBeside(const std::string& path, const std::vector<uint8_t>& bytes,
                         std::string& temporary, const std::function<int(int fd)>& prepare = {});

}  // namespace files

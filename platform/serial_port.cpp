#include "platform/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <memory>
#include <optional>
#include <utility>

#include "platform/deadline.h"
#include "platform/serial_baud.h"

namespace platform {

namespace {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;

// A paced read wakes this long before the line's last byte is due: more than a timed wake-up is
// commonly late, so the last bytes' arrival ends the read, at the cost of a wake-up or two.
constexpr std::chrono::microseconds kWakeMargin{1000};

// The earliest of the deadlines that are set, or none when no limit applies.
std::optional<nanoseconds> nearestWait(const std::optional<Deadline>& a,
                                       const std::optional<Deadline>& b) {
    std::optional<nanoseconds> wait;
    for (const auto* deadline : {&a, &b}) {
        if (!*deadline)
            continue;
        const nanoseconds left = (*deadline)->remaining();
        wait = wait ? std::min(*wait, left) : left;
    }
    return wait;
}

bool anyExpired(const std::optional<Deadline>& a, const std::optional<Deadline>& b) {
    return (a && a->expired()) || (b && b->expired());
}

// Waits for `events` on `fd` for at most `wait` (forever without one). 0, ETIMEDOUT, or errno;
// EIO when the other side hung up without leaving data.
int waitFor(int fd, short events, std::optional<nanoseconds> wait) {
    pollfd entry{fd, events, 0};
    timespec limit{};
    if (wait) {
        limit.tv_sec = time_t(wait->count() / 1'000'000'000);
        limit.tv_nsec = long(wait->count() % 1'000'000'000);
    }
    const int ready = ::ppoll(&entry, 1, wait ? &limit : nullptr, nullptr);
    if (ready < 0)
        return errno == EINTR ? 0 : errno;
    if (ready == 0)
        return ETIMEDOUT;
    if ((entry.revents & events) == 0 && (entry.revents & (POLLERR | POLLHUP | POLLNVAL)))
        return EIO;
    return 0;
}

// Sleeps until `end` (a steady clock time) without a rounding relative sleep.
void sleepUntil(Deadline::SteadyClock::time_point end) {
    const auto sinceEpoch = std::chrono::duration_cast<nanoseconds>(end.time_since_epoch());
    timespec at{};
    at.tv_sec = time_t(sinceEpoch.count() / 1'000'000'000);
    at.tv_nsec = long(sinceEpoch.count() % 1'000'000'000);
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
    }
}

// The total time-out of a transfer of `count` bytes; none when both parts are 0.
std::optional<Deadline> totalDeadline(uint32_t multiplierMs, uint32_t constantMs, size_t count) {
    if (multiplierMs == 0 && constantMs == 0)
        return std::nullopt;
    const uint64_t totalMs = uint64_t(multiplierMs) * count + constantMs;
    return Deadline(milliseconds(int64_t(std::min<uint64_t>(totalMs, INT32_MAX))));
}

}  // namespace

SerialPort::~SerialPort() {
    close();
}

int SerialPort::open(const std::string& path) {
    close();
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno;
    // A serial port is a terminal; anything else would turn the time-outs into busy loops.
    if (!::isatty(fd)) {
        ::close(fd);
        return ENOTTY;
    }
    // The lock refuses a second opener whoever it is; TIOCEXCL also refuses plain opens.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        return error;
    }
    ::ioctl(fd, TIOCEXCL);
    fd_ = fd;
    byteTime_ = nanoseconds(0);
    return 0;
}

void SerialPort::close() {
    if (fd_ < 0)
        return;
    // A pty keeps its exclusive flag while its master lives; clear it for the next opener.
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
    dropReadAhead();
    lastChunk_.reset();
    justWrote_ = false;
}

int SerialPort::configure(uint32_t baudRate) {
    if (fd_ < 0)
        return EBADF;
    termios settings{};
    if (::tcgetattr(fd_, &settings) != 0)
        return errno;
    ::cfmakeraw(&settings);
    settings.c_cflag &= ~tcflag_t(PARENB | CSTOPB | CSIZE | CRTSCTS);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY | INPCK);
    // One byte satisfies a read; with O_NONBLOCK an empty queue gives EAGAIN and poll waits.
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    if (::tcsetattr(fd_, TCSANOW, &settings) != 0)
        return errno;
    if (const int error = setBaudRate(fd_, baudRate))
        return error;
    byteTime_ = baudRate > 0 ? nanoseconds(10'000'000'000LL / baudRate) : nanoseconds(0);

    // The reads' timed waits should end on time, not up to the default 50 us later.
    ::prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);
    const int lines = TIOCM_DTR | TIOCM_RTS;
    if (::ioctl(fd_, TIOCMBIS, &lines) != 0 && errno != ENOTTY && errno != EINVAL)
        return errno;
    return 0;
}

int SerialPort::read(uint8_t* buffer, size_t count, size_t& received) {
    received = 0;
    if (fd_ < 0)
        return EBADF;
    if (count == 0)
        return 0;
    received = takeReadAhead(buffer, count);
    if (received == count)
        return 0;
    const std::optional<Deadline> total =
        totalDeadline(timeouts_.readTotalMultiplierMs, timeouts_.readTotalConstantMs, count);
    std::optional<Deadline> gap;  // runs from the latest byte once the first one came
    if (received > 0 && timeouts_.readIntervalMs != 0)
        gap = Deadline(milliseconds(timeouts_.readIntervalMs));
    bool lineWaited = false;
    // Right after a command went out its answer cannot be there yet, and what was read ahead
    // was all the driver held then: wait first.
    bool waitFirst = std::exchange(justWrote_, false) || received > 0;
    for (;;) {
        ssize_t got = -2;
        if (!std::exchange(waitFirst, false)) {
            got = ::read(fd_, readAhead_.data(), readAhead_.size());
            if (got > 0) {
                readAheadBegin_ = 0;
                readAheadEnd_ = size_t(got);
            }
        }
        if (got > 0) {
            received += takeReadAhead(buffer + received, count - received);
            const auto now = Deadline::SteadyClock::now();
            const std::optional<Deadline::SteadyClock::time_point> previous =
                std::exchange(lastChunk_, now);
            if (received == count)
                return 0;
            if (timeouts_.readIntervalMs != 0)
                gap = Deadline(milliseconds(timeouts_.readIntervalMs));
            // Bytes that come at the line's pace cannot complete the count before the line has
            // carried the rest: one sleep for its wire time instead of a wake-up per chunk. A
            // chunk faster than the line (a pseudo terminal) or a sender that fell behind is
            // not paced: then arriving data decide. The sleep ends a little early, so that the
            // last bytes' arrival ends the read rather than a timer that may fire late.
            if (!lineWaited && previous && atLinePace(size_t(got), now - *previous)) {
                lineWaited = true;
                auto end = now + byteTime_ * int64_t(count - received) - kWakeMargin;
                if (total)
                    end = std::min(end, total->end());
                if (end > now) {
                    sleepUntil(end);
                    continue;
                }
            }
            // A short read took all there was: wait before asking again.
        } else if (got == 0) {
            // With at least one byte asked for, 0 means the line hung up.
            return EIO;
        } else if (got == -1 && errno == EINTR) {
            continue;
        } else if (got == -1 && errno != EAGAIN) {
            return errno;
        }
        if (anyExpired(total, gap))
            return 0;
        const int waited = waitFor(fd_, POLLIN, nearestWait(total, gap));
        if (waited != 0 && waited != ETIMEDOUT)
            return waited;
    }
}

size_t SerialPort::takeReadAhead(uint8_t* out, size_t max) {
    const size_t n = std::min(max, readAheadEnd_ - readAheadBegin_);
    std::copy_n(readAhead_.data() + readAheadBegin_, n, out);
    readAheadBegin_ += n;
    if (readAheadBegin_ == readAheadEnd_)
        dropReadAhead();
    return n;
}

bool SerialPort::atLinePace(size_t chunk, std::chrono::nanoseconds since) const {
    if (byteTime_.count() == 0)
        return false;
    // A receive FIFO's worth more than the line could carry meanwhile is still the line.
    constexpr size_t kFifo = 16;
    return chunk <= size_t(since / byteTime_) + kFifo;
}

int SerialPort::write(const uint8_t* data, size_t count, size_t& written) {
    written = 0;
    if (fd_ < 0)
        return EBADF;
    const std::optional<Deadline> total =
        totalDeadline(timeouts_.writeTotalMultiplierMs, timeouts_.writeTotalConstantMs, count);
    while (written < count) {
        const ssize_t put = ::write(fd_, data + written, count - written);
        if (put > 0) {
            written += size_t(put);
            justWrote_ = true;
            lastChunk_.reset();
            continue;
        }
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0 && errno != EAGAIN)
            return errno;
        if (anyExpired(total, std::nullopt))
            return 0;
        const int waited = waitFor(fd_, POLLOUT, nearestWait(total, std::nullopt));
        if (waited != 0 && waited != ETIMEDOUT)
            return waited;
    }
    return 0;
}

int SerialPort::bytesWaiting(size_t& count) {
    count = 0;
    if (fd_ < 0)
        return EBADF;
    int waiting = 0;
    if (::ioctl(fd_, FIONREAD, &waiting) != 0)
        return errno;
    count = size_t(std::max(waiting, 0)) + (readAheadEnd_ - readAheadBegin_);
    return 0;
}

int SerialPort::purge() {
    if (fd_ < 0)
        return EBADF;
    dropReadAhead();
    return ::tcflush(fd_, TCIOFLUSH) == 0 ? 0 : errno;
}

std::unique_ptr<SerialLine> makeSerialPort() {
    return std::make_unique<SerialPort>();
}

int useDeviceForComPort(int portNumber, const std::string& device) {
    const std::string variable = "QEL_COM" + std::to_string(portNumber);
    return ::setenv(variable.c_str(), device.c_str(), 1) == 0 ? 0 : errno;
}

std::string canonicalDevicePath(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

std::string comPortPath(int portNumber) {
    const std::string variable = "QEL_COM" + std::to_string(portNumber);
    const char* path = std::getenv(variable.c_str());
    if (path != nullptr && *path != '\0')
        return path;
    return "/dev/ttyS" + std::to_string(int64_t(portNumber) - 1);
}

}  // namespace platform

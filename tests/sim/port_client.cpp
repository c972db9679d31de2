#include "port_client.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

namespace simtest {

using namespace std::chrono;

Bytes telegram(uint16_t code, const Bytes& payload) {
    // Sized once and filled by index: g++ 12 at -O2 misreads insert() after an initializer list.
    Bytes t(payload.size() + 4);
    t[0] = uint8_t(code);
    t[1] = uint8_t(code >> 8);
    t[2] = uint8_t(payload.size() + 5);
    t[3] = uint8_t((payload.size() + 5) >> 8);
    std::copy(payload.begin(), payload.end(), t.begin() + 4);
    uint8_t sum = 0;
    for (uint8_t b : t) sum = uint8_t(sum + b);
    t.push_back(sum);
    return t;
}

Bytes withU32s(std::initializer_list<uint32_t> words) {
    Bytes out;
    for (uint32_t w : words)
        for (int i = 0; i < 4; ++i) out.push_back(uint8_t(w >> (8 * i)));
    return out;
}

uint16_t u16At(const Bytes& b, size_t offset) {
    return offset + 2 <= b.size() ? uint16_t(b[offset] | b[offset + 1] << 8) : 0xDEAD;
}

uint32_t u32At(const Bytes& b, size_t offset) {
    if (offset + 4 > b.size()) return 0xDEADBEEF;
    return uint32_t(b[offset]) | uint32_t(b[offset + 1]) << 8 | uint32_t(b[offset + 2]) << 16 |
           uint32_t(b[offset + 3]) << 24;
}

namespace {

// Waits until `fd` is readable or the deadline passes.
bool waitReadable(int fd, steady_clock::time_point deadline) {
    const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
    if (left <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, int(left)) > 0;
}

}  // namespace

PortClient::PortClient(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) return;
    termios tio{};
    ::tcgetattr(fd_, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd_, TCSANOW, &tio);
    ::tcflush(fd_, TCIOFLUSH);
}

PortClient::~PortClient() { close(); }

void PortClient::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void PortClient::send(const Bytes& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) done += size_t(n);
        else std::this_thread::sleep_for(milliseconds(1));
    }
}

std::optional<Bytes> PortClient::receive(milliseconds limit) {
    const auto deadline = steady_clock::now() + limit;
    while (true) {
        if (pending_.size() >= 4) {
            const size_t length = u16At(pending_, 2);
            if (length >= 5 && pending_.size() >= length) {
                Bytes t(pending_.begin(), pending_.begin() + long(length));
                pending_.erase(pending_.begin(), pending_.begin() + long(length));
                return t;
            }
        }
        if (!waitReadable(fd_, deadline)) return std::nullopt;
        uint8_t buffer[1024];
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n > 0) pending_.insert(pending_.end(), buffer, buffer + n);
    }
}

std::optional<Bytes> PortClient::transact(const Bytes& command, milliseconds limit) {
    send(command);
    const auto deadline = steady_clock::now() + limit;
    while (true) {
        const auto left = duration_cast<milliseconds>(deadline - steady_clock::now());
        auto reply = receive(left);
        if (!reply || (*reply)[0] != 0x19) return reply;
    }
}

Bytes PortClient::readFor(milliseconds limit) {
    const auto deadline = steady_clock::now() + limit;
    Bytes all = std::move(pending_);
    pending_.clear();
    uint8_t buffer[1024];
    while (waitReadable(fd_, deadline)) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n > 0) all.insert(all.end(), buffer, buffer + n);
    }
    return all;
}

}  // namespace simtest

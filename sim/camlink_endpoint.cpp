#include "sim/camlink_endpoint.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace sim {

std::unique_ptr<CamLinkEndpoint> CamLinkEndpoint::create(uint16_t port, uint32_t baud, bool paced,
                                                         std::string& error) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        error = std::string("cannot create the Camera Link socket: ") + std::strerror(errno);
        return nullptr;
    }
    // A camsim restarted on the same port (the camera switched off and on) must get it again.
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 4) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        error = "cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<CamLinkEndpoint>(
        new CamLinkEndpoint(fd, ntohs(address.sin_port), baud, paced));
}

CamLinkEndpoint::CamLinkEndpoint(int listenFd, uint16_t port, uint32_t baud, bool paced)
    : listenFd_(listenFd),
      port_(port),
      baud_(baud),
      paced_(paced),
      receiver_(baud, true),
      reader_(paced ? baud : 0),
      output_(paced ? baud : 0) {}

CamLinkEndpoint::~CamLinkEndpoint() {
    if (clientFd_ >= 0)
        ::close(clientFd_);
    ::close(listenFd_);
}

pollfd CamLinkEndpoint::clientPoll(Clock::time_point now) const {
    pollfd p{clientFd_, POLLIN, 0};
    if (!unsent_.empty() || output_.due(now) > 0)
        p.events |= POLLOUT;
    return p;
}

void CamLinkEndpoint::acceptClient() {
    while (true) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0)
            return;  // none (left) waiting
        dropClient();
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        clientFd_ = fd;
        ++clients_;
    }
}

void CamLinkEndpoint::dropClient() {
    if (clientFd_ >= 0)
        ::close(clientFd_);
    clientFd_ = -1;
    receiver_.reset();
    reader_.clear();
    output_.clear();
    unsent_.clear();
    framed_ = queued_;  // nothing queued will go out: pending switches apply now
    applyDueSwitches();
}

void CamLinkEndpoint::readClient(Clock::time_point now, bool hearing) {
    uint8_t buffer[4096];
    while (clientFd_ >= 0) {
        const ssize_t n = ::recv(clientFd_, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (n <= 0) {
            dropClient();  // the grabber closed its port
            return;
        }
        clsersim::Bytes heard;
        if (!receiver_.feed(buffer, size_t(n), heard)) {
            dropClient();  // not a grabber speaking in frames
            return;
        }
        if (followClient_ && receiver_.baud() != baud_) setRate(receiver_.baud());
        // A framing error makes the camera drop the telegram it was receiving.
        if (receiver_.takeFramingError())
            reader_.clear();
        // A camera that reboots or is gone hears nothing.
        if (hearing)
            reader_.feed(heard.data(), heard.size(), now);
    }
}

void CamLinkEndpoint::push(const Bytes& bytes, Clock::time_point now) {
    if (clientFd_ < 0 || bytes.empty())
        return;  // nobody at the other end
    output_.push(bytes, now);
    queued_ += bytes.size();
}

void CamLinkEndpoint::followClient() {
    followClient_ = true;
    receiver_.followSender(true);
}

void CamLinkEndpoint::followRate(uint32_t baud) {
    const uint32_t last = switches_.empty() ? baud_ : switches_.back().second;
    if (baud != last)
        switches_.emplace_back(queued_, baud);
    applyDueSwitches();
}

void CamLinkEndpoint::setRate(uint32_t baud) {
    baud_ = baud;
    receiver_.setBaud(baud);
    if (paced_) {
        reader_.setPace(baud);
        output_.setPace(baud);
    }
}

void CamLinkEndpoint::applyDueSwitches() {
    while (!switches_.empty() && switches_.front().first <= framed_) {
        setRate(switches_.front().second);
        switches_.pop_front();
    }
}

void CamLinkEndpoint::writeClient(Clock::time_point now) {
    uint8_t chunk[clsersim::kMaxFrameBytes];
    while (clientFd_ >= 0) {
        if (unsent_.empty()) {
            applyDueSwitches();
            size_t due = std::min(output_.due(now), sizeof chunk);
            // Bytes before a rate switch go out at the old rate, in a frame of their own.
            if (!switches_.empty())
                due = std::min<uint64_t>(due, switches_.front().first - framed_);
            if (due == 0)
                return;
            const size_t n = output_.peek(chunk, due);
            output_.consume(n, Clock::now());
            framed_ += n;
            clsersim::appendFrames(unsent_, baud_, chunk, n);
        }
        const ssize_t n = ::send(clientFd_, unsent_.data(), unsent_.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (n < 0) {
            dropClient();
            return;
        }
        unsent_.erase(unsent_.begin(), unsent_.begin() + n);
    }
}

std::optional<CamLinkEndpoint::Clock::time_point> CamLinkEndpoint::wakeTime(Clock::time_point now,
                                                                            bool listening) const {
    std::optional<Clock::time_point> wake;
    auto consider = [&](std::optional<Clock::time_point> t) {
        if (t && (!wake || *t < *wake))
            wake = t;
    };
    if (listening) {
        consider(reader_.staleDeadline());
        consider(reader_.arrivalDue());
    }
    // Framed bytes the socket has not taken wait for POLLOUT, not for a time that has passed.
    if (unsent_.empty())
        consider(output_.nextDue(now));
    return wake;
}

}  // namespace sim

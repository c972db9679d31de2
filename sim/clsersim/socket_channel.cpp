#include "sim/clsersim/socket_channel.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace clsersim {

bool SocketChannel::socketsReady() {
    return true;
}

int SocketChannel::connectPlace(const addrinfo& place) {
    const int fd = ::socket(place.ai_family, place.ai_socktype | SOCK_CLOEXEC, place.ai_protocol);
    if (fd < 0)
        return -1;
    if (::connect(fd, place.ai_addr, place.ai_addrlen) != 0) {
        ::close(fd);
        return -1;
    }
    // Telegrams are small and answered one by one: send each at once.
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    return fd;
}

void SocketChannel::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    lowWater_ = 1;
}

void SocketChannel::setReadLowWater(size_t bytes) {
    // A receive of a non-blocking socket still returns what is there; only poll waits for more.
    const int value = int(std::clamp<size_t>(bytes, 1, 0x10000));
    if (fd_ < 0 || size_t(value) == lowWater_)
        return;
    if (::setsockopt(fd_, SOL_SOCKET, SO_RCVLOWAT, &value, sizeof value) == 0)
        lowWater_ = size_t(value);
}

long SocketChannel::send(const uint8_t* data, size_t count) {
    if (fd_ < 0)
        return -1;
    while (true) {
        const ssize_t n = ::send(fd_, data, count, MSG_NOSIGNAL);
        if (n >= 0)
            return long(n);
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        close();
        return -1;
    }
}

long SocketChannel::receive(uint8_t* data, size_t count) {
    if (fd_ < 0)
        return -1;
    while (true) {
        const ssize_t n = ::recv(fd_, data, count, 0);
        if (n > 0)
            return long(n);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return 0;
        close();  // end of stream or a failure: the peer is gone
        return -1;
    }
}

bool SocketChannel::wait(uint32_t ms, bool writable) const {
    if (fd_ < 0)
        return false;
    pollfd p{fd_, short(writable ? POLLOUT : POLLIN), 0};
    const int timeout = ms > 0x7FFFFFFFu ? 0x7FFFFFFF : int(ms);
    while (true) {
        const int ready = ::poll(&p, 1, timeout);
        if (ready >= 0)
            return ready > 0;
        if (errno != EINTR)
            return false;
    }
}

}  // namespace clsersim

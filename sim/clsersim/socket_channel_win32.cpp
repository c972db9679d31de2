#include <winsock2.h>
#include <ws2tcpip.h>

#include <string>

#include "sim/clsersim/socket_channel.h"

namespace clsersim {

namespace {
SOCKET socketOf(int fd) {
    return SOCKET(unsigned(fd));
}

int fdOf(SOCKET socket) {
    return int(unsigned(socket));
}
}  // namespace

// Winsock is started once for the process, at the first connection.
bool SocketChannel::socketsReady() {
    static const bool ready = [] {
        WSADATA data{};
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return ready;
}

int SocketChannel::connectPlace(const addrinfo& place) {
    const SOCKET socket = ::socket(place.ai_family, place.ai_socktype, place.ai_protocol);
    if (socket == INVALID_SOCKET)
        return -1;
    if (::connect(socket, place.ai_addr, int(place.ai_addrlen)) != 0) {
        ::closesocket(socket);
        return -1;
    }
    // Telegrams are small and answered one by one: send each at once.
    const BOOL one = TRUE;
    ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    u_long nonBlocking = 1;
    ::ioctlsocket(socket, FIONBIO, &nonBlocking);
    return fdOf(socket);
}

void SocketChannel::close() {
    if (fd_ >= 0)
        ::closesocket(socketOf(fd_));
    fd_ = -1;
}

long SocketChannel::send(const uint8_t* data, size_t count) {
    if (fd_ < 0)
        return -1;
    const int chunk = count > 0x7FFFFFFF ? 0x7FFFFFFF : int(count);
    const int n = ::send(socketOf(fd_), reinterpret_cast<const char*>(data), chunk, 0);
    if (n >= 0)
        return long(n);
    if (::WSAGetLastError() == WSAEWOULDBLOCK)
        return 0;
    close();
    return -1;
}

long SocketChannel::receive(uint8_t* data, size_t count) {
    if (fd_ < 0)
        return -1;
    const int chunk = count > 0x7FFFFFFF ? 0x7FFFFFFF : int(count);
    const int n = ::recv(socketOf(fd_), reinterpret_cast<char*>(data), chunk, 0);
    if (n > 0)
        return long(n);
    if (n < 0 && ::WSAGetLastError() == WSAEWOULDBLOCK)
        return 0;
    close();  // end of stream or a failure: the peer is gone
    return -1;
}

// Winsock has no read low-water mark: a wait ends at the first byte.
void SocketChannel::setReadLowWater(size_t) {}

bool SocketChannel::wait(uint32_t ms, bool writable) const {
    if (fd_ < 0)
        return false;
    WSAPOLLFD entry{};
    entry.fd = socketOf(fd_);
    entry.events = writable ? POLLWRNORM : POLLRDNORM;
    const int timeout = ms > 0x7FFFFFFFu ? 0x7FFFFFFF : int(ms);
    return ::WSAPoll(&entry, 1, timeout) > 0;
}

}  // namespace clsersim

#include <winsock2.h>
#include <ws2tcpip.h>

#include <string>

#include "sim/clsersim/socket_channel.h"

namespace clsersim {

namespace {
// Winsock is started once for the process, at the first connection.
bool winsockReady() {
    static const bool ready = [] {
        WSADATA data{};
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return ready;
}

SOCKET socketOf(int fd) {
    return SOCKET(unsigned(fd));
}

int fdOf(SOCKET socket) {
    return int(unsigned(socket));
}
}  // namespace

bool SocketChannel::open(const std::string& address) {
    close();
    std::string host;
    uint16_t port = 0;
    if (!parseAddress(address, host, port) || !winsockReady())
        return false;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
        return false;
    for (addrinfo* a = found; a && fd_ < 0; a = a->ai_next) {
        const SOCKET socket = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (socket == INVALID_SOCKET)
            continue;
        if (::connect(socket, a->ai_addr, int(a->ai_addrlen)) != 0) {
            ::closesocket(socket);
            continue;
        }
        // Telegrams are small and answered one by one: send each at once.
        const BOOL one = TRUE;
        ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one),
                     sizeof one);
        u_long nonBlocking = 1;
        ::ioctlsocket(socket, FIONBIO, &nonBlocking);
        fd_ = fdOf(socket);
    }
    ::freeaddrinfo(found);
    return fd_ >= 0;
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

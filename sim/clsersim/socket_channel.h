#pragma once
// A TCP connection on which the simulated grabber reaches camsim. socket_channel.cpp (and
// socket_channel_win32.cpp on Windows) make the system's socket calls; socket_address.cpp
// resolves the address the same way on both.

#include <cstddef>
#include <cstdint>
#include <string>

struct addrinfo;

namespace clsersim {

class SocketChannel {
public:
    SocketChannel() = default;
    ~SocketChannel() { close(); }
    SocketChannel(const SocketChannel&) = delete;
    SocketChannel& operator=(const SocketChannel&) = delete;

    // Connects to "HOST:PORT" or "PORT" (meaning 127.0.0.1). False when the address is
    // malformed or nobody listens there.
    bool open(const std::string& address);
    void close();
    bool isOpen() const { return fd_ >= 0; }

    // Non-blocking transfers: bytes moved, 0 when the call would block, -1 when the connection
    // is gone (then it is closed).
    long send(const uint8_t* data, size_t count);
    long receive(uint8_t* data, size_t count);
    // Waits at most `ms` for the socket to become readable (or writable). False on time-out.
    // `atLeast`: where the system can, readable only once that many bytes are there (or the
    // peer has gone), so that a long reply wakes the reader a few times instead of once per
    // frame; elsewhere readable at the first byte.
    bool waitReadable(uint32_t ms, size_t atLeast = 1) {
        setReadLowWater(atLeast);
        return wait(ms, false);
    }
    bool waitWritable(uint32_t ms) const { return wait(ms, true); }

    // Splits "HOST:PORT" or "PORT"; false when the port is not 1..65535.
    static bool parseAddress(const std::string& address, std::string& host, uint16_t& port);

private:
    bool wait(uint32_t ms, bool writable) const;
    void setReadLowWater(size_t bytes);
    // The system's part of open: whether sockets can be used at all, and a connected
    // non-blocking socket to one resolved place (-1 when that place does not answer).
    static bool socketsReady();
    static int connectPlace(const addrinfo& place);

    // The socket; on Windows the SOCKET handle, whose value fits (kernel handles have 32
    // significant bits on 64-bit Windows too).
    int fd_ = -1;
    size_t lowWater_ = 1;  // the socket's read low-water mark as last set
};

}  // namespace clsersim

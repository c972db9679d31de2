#include "pty_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "protocol/telegram.h"

namespace testing_support {

Bytes telegram(uint16_t code, const Bytes& payload) {
    Bytes bytes(4 + payload.size() + 1);
    protocol::writeU16(&bytes[0], code);
    protocol::writeU16(&bytes[2], uint16_t(bytes.size()));
    std::copy(payload.begin(), payload.end(), bytes.begin() + 4);
    bytes.back() = protocol::checksumOf(bytes.data(), bytes.size() - 1);
    return bytes;
}

Bytes errorReply(uint16_t code, uint32_t error) {
    Bytes payload(4);
    protocol::writeU32(payload.data(), error);
    return telegram(uint16_t(code | 0x00C0), payload);
}

PtyPeer::PtyPeer() {
    termios raw{};
    ::cfmakeraw(&raw);
    if (::openpty(&master_, &heldSlave_, nullptr, &raw, nullptr) != 0)
        return;
    termios masterSettings{};
    ::tcgetattr(master_, &masterSettings);
    ::cfmakeraw(&masterSettings);
    ::tcsetattr(master_, TCSANOW, &masterSettings);
    ::fcntl(master_, F_SETFL, O_NONBLOCK);
    path_ = ::ptsname(master_);
    thread_ = std::thread([this] { run(); });
}

PtyPeer::~PtyPeer() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    if (heldSlave_ >= 0)
        ::close(heldSlave_);
    if (master_ >= 0)
        ::close(master_);
}

void PtyPeer::setHandler(Handler handler) {
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
}

std::vector<Bytes> PtyPeer::commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
}

void PtyPeer::send(const Bytes& bytes) {
    size_t sent = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (sent < bytes.size() && std::chrono::steady_clock::now() < end) {
        const ssize_t put = ::write(master_, bytes.data() + sent, bytes.size() - sent);
        if (put > 0)
            sent += size_t(put);
        else
            ::usleep(500);
    }
}

void PtyPeer::run() {
    Bytes pending;
    const Bytes floodChunk(1024, 0x55);
    while (!stop_) {
        if (flooding_) {
            if (::write(master_, floodChunk.data(), floodChunk.size()) <= 0)
                ::usleep(200);
        }
        pollfd entry{master_, POLLIN, 0};
        if (::poll(&entry, 1, flooding_ ? 0 : 5) <= 0)
            continue;
        uint8_t chunk[600];
        const ssize_t got = ::read(master_, chunk, sizeof chunk);
        if (got <= 0)
            continue;
        pending.insert(pending.end(), chunk, chunk + got);
        // Hand over every complete telegram; the transport only sends well-formed lengths.
        while (pending.size() >= 4) {
            const size_t length = std::max<size_t>(protocol::readU16(&pending[2]), 4);
            if (pending.size() < length)
                break;
            const Bytes command(pending.begin(), pending.begin() + long(length));
            pending.erase(pending.begin(), pending.begin() + long(length));
            Handler handler;
            {
                std::lock_guard lock(mutex_);
                commands_.push_back(command);
                handler = handler_;
            }
            if (handler)
                handler(*this, command);
        }
    }
}

}  // namespace testing_support

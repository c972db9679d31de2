#pragma once
// A scripted camera on a pty's master side: records commands, answers through a handler, floods.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "protocol/telegram.h"

namespace testing_support {

using Bytes = std::vector<uint8_t>;

// A telegram with the length field and checksum filled in.
inline Bytes telegram(uint16_t code, const Bytes& payload = {}) {
    Bytes bytes(4 + payload.size() + 1);
    protocol::writeU16(&bytes[0], code);
    protocol::writeU16(&bytes[2], uint16_t(bytes.size()));
    for (size_t i = 0; i < payload.size(); ++i) bytes[4 + i] = payload[i];
    bytes.back() = protocol::checksumOf(bytes.data(), bytes.size() - 1);
    return bytes;
}
inline Bytes errorReply(uint16_t code, uint32_t error) {
    Bytes payload(4);
    protocol::writeU32(payload.data(), error);
    return telegram(uint16_t(code | 0x00C0), payload);
}

class PtyPeer {
public:
    using Handler = std::function<void(PtyPeer& peer, const Bytes& command)>;

    PtyPeer() {
        termios raw{};
        ::cfmakeraw(&raw);
        if (::openpty(&master_, &heldSlave_, nullptr, &raw, nullptr) != 0) return;
        ::fcntl(master_, F_SETFL, O_NONBLOCK);
        path_ = ::ptsname(master_);
        thread_ = std::thread([this] { run(); });
    }
    ~PtyPeer() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        ::close(heldSlave_);
        ::close(master_);
    }
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    const std::string& path() const { return path_; }
    void setHandler(Handler handler) {
        std::lock_guard lock(mutex_);
        handler_ = std::move(handler);
    }
    void flood(bool on) { flooding_ = on; }
    std::vector<Bytes> commands() const {
        std::lock_guard lock(mutex_);
        return commands_;
    }
    void send(const Bytes& bytes) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        for (size_t sent = 0; sent < bytes.size() && std::chrono::steady_clock::now() < end;) {
            const ssize_t put = ::write(master_, bytes.data() + sent, bytes.size() - sent);
            if (put > 0) sent += size_t(put);
            else ::usleep(500);
        }
    }

private:
    void run() {
        Bytes pending;
        const Bytes floodChunk(1024, 0x55);
        while (!stop_) {
            if (flooding_ && ::write(master_, floodChunk.data(), floodChunk.size()) <= 0)
                ::usleep(200);
            pollfd entry{master_, POLLIN, 0};
            uint8_t chunk[600];
            if (::poll(&entry, 1, flooding_ ? 0 : 5) <= 0) continue;
            const ssize_t got = ::read(master_, chunk, sizeof chunk);
            if (got > 0) pending.insert(pending.end(), chunk, chunk + got);
            while (pending.size() >= 4) {
                const size_t length = std::max<size_t>(protocol::readU16(&pending[2]), 4);
                if (pending.size() < length) break;
                const Bytes command(pending.begin(), pending.begin() + long(length));
                pending.erase(pending.begin(), pending.begin() + long(length));
                Handler handler;
                {
                    std::lock_guard lock(mutex_);
                    commands_.push_back(command);
                    handler = handler_;
                }
                if (handler) handler(*this, command);
            }
        }
    }

    int master_ = -1;
    int heldSlave_ = -1;  // keeps the master from seeing a hang-up between opens
    std::string path_;
    mutable std::mutex mutex_;
    Handler handler_;
    std::vector<Bytes> commands_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> flooding_{false};
    std::thread thread_;
};

}  // namespace testing_support

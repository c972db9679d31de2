#pragma once
// The real camsim of this build and a raw termios client on its pty.

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "../tessiport/test_support.h"
#include "tools/camsim_process.h"

namespace simtest {

using libtest::Bytes;
using libtest::telegram;
using libtest::u16At;
using libtest::u32At;
using Ms = std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

inline Bytes withU32s(std::initializer_list<uint32_t> words) {
    Bytes out;
    for (uint32_t w : words)
        for (int i = 0; i < 4; ++i) out.push_back(uint8_t(w >> (8 * i)));
    return out;
}
inline Bytes twoWords(uint16_t code, uint32_t a = 0, uint32_t b = 0) {
    return telegram(code, withU32s({a, b}));
}
// Whether the length field and the checksum of `t` are right.
inline bool checksumOk(const Bytes& t) {
    return t.size() >= 5 && t == telegram(u16At(t, 0), Bytes(t.begin() + 4, t.end() - 1));
}
// WRITE_BLOCK (or `code`) of `data` to `first`, padded with 0xFF to 256 bytes.
inline Bytes writeBlock(uint32_t first, const Bytes& data, uint16_t code = 0x1103) {
    Bytes payload = withU32s({first, first + uint32_t(data.size()) - 1});
    payload.resize(8 + 256, 0xFF);
    for (size_t i = 0; i < data.size(); ++i) payload[8 + i] = data[i];
    return telegram(code, payload);
}
// The zero-padded 16-character name at `at`.
inline std::string textAt(const Bytes& b, size_t at) {
    const std::string s(b.begin() + long(std::min(at, b.size())),
                        b.begin() + long(std::min(at + 16, b.size())));
    return s.substr(0, s.find('\0'));
}

class PortClient {
public:
    explicit PortClient(const std::string& path)
        : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK)) {
        termios tio{};
        ::tcgetattr(fd_, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(fd_, TCSANOW, &tio);
        ::tcflush(fd_, TCIOFLUSH);
    }
    ~PortClient() { ::close(fd_); }

    void send(const Bytes& bytes) {
        for (size_t done = 0; done < bytes.size();) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n > 0) done += size_t(n);
            else std::this_thread::sleep_for(Ms(1));
        }
    }
    // The next telegram (debug texts included), or nothing when none completes in time.
    std::optional<Bytes> receive(Ms limit) {
        const auto deadline = SteadyClock::now() + limit;
        while (u16At(pending_, 2) < 5 || pending_.size() < u16At(pending_, 2))
            if (!readUntil(deadline)) return std::nullopt;
        const long length = u16At(pending_, 2);
        Bytes t(pending_.begin(), pending_.begin() + length);
        pending_.erase(pending_.begin(), pending_.begin() + length);
        return t;
    }
    // Sends a command and returns the first non-debug telegram that answers it.
    std::optional<Bytes> transact(const Bytes& command, Ms limit = Ms(1000)) {
        send(command);
        const auto deadline = SteadyClock::now() + limit;
        auto reply = receive(limit);
        while (reply && (*reply)[0] == 0x19)
            reply = receive(std::chrono::duration_cast<Ms>(deadline - SteadyClock::now()));
        return reply;
    }

private:
    // Appends what arrives before the deadline; false when nothing did.
    bool readUntil(SteadyClock::time_point deadline) {
        const auto left = std::chrono::duration_cast<Ms>(deadline - SteadyClock::now()).count();
        pollfd p{fd_, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, int(left)) <= 0) return false;
        uint8_t buffer[1024];
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        for (ssize_t i = 0; i < n; ++i) pending_.push_back(buffer[i]);
        return true;
    }

    int fd_;
    Bytes pending_;
};

// A camsim with a client; code() sends a command, keeps the reply in `last`, returns its code
// (0 when none came).
struct Camera {
    explicit Camera(const std::vector<std::string>& args)
        : started(sim.start(KF_BINARY_DIR "/bin/camsim", args)), port(sim.portPath()) {}
    uint16_t code(const Bytes& command, Ms limit = Ms(1000)) {
        last = port.transact(command, limit).value_or(Bytes{});
        return last.empty() ? 0 : u16At(last, 0);
    }
    // Opens the device of `row` (Main uP, Main FPGA, EEPROM, PLL, Head FPGA).
    uint16_t open(int row) {
        static const uint16_t codes[] = {0x7003, 0x7103, 0x7203, 0x7403, 0x7303};
        return code(twoWords(codes[row]));
    }

    tools::CamsimProcess sim;
    bool started;
    PortClient port;
    Bytes last;
};

}  // namespace simtest

#pragma once
// The real camsim of this build and a client on its pty.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "../tessiport/test_support.h"
#include "platform/serial_port.h"
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
        for (int i = 0; i < 4; ++i)
            out.push_back(uint8_t(w >> (8 * i)));
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
    for (size_t i = 0; i < data.size(); ++i)
        payload[8 + i] = data[i];
    return telegram(code, payload);
}
// The zero-padded 16-character name at `at`.
inline std::string textAt(const Bytes& b, size_t at) {
    const std::string s(b.begin() + long(std::min(at, b.size())),
                        b.begin() + long(std::min(at + 16, b.size())));
    return s.substr(0, s.find('\0'));
}

// A client on camsim's pty through the programmer's own serial port.
class PortClient {
public:
    explicit PortClient(const std::string& path) { reopen(path); }
    // Closes the port and opens it anew, dropping what waits on it as a new client does.
    void reopen(const std::string& path) {
        port_.open(path);
        port_.configure(57600);  // raw bytes; a pty carries them at any rate
        port_.purge();
    }

    void send(const Bytes& bytes) {
        size_t written = 0;
        port_.setTimeouts({0, 0, 0, 0, 1000});
        port_.write(bytes.data(), bytes.size(), written);
    }
    // The next telegram (debug texts included), or nothing when none completes in time.
    std::optional<Bytes> receive(Ms limit) {
        const auto deadline = SteadyClock::now() + limit;
        Bytes t(4);
        if (!readUntil(t.data(), 4, deadline) || u16At(t, 2) < 5)
            return std::nullopt;
        t.resize(u16At(t, 2));
        if (!readUntil(t.data() + 4, t.size() - 4, deadline))
            return std::nullopt;
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
    // Whether all `count` bytes came before the deadline.
    bool readUntil(uint8_t* out, size_t count, SteadyClock::time_point deadline) {
        const auto left = std::chrono::duration_cast<Ms>(deadline - SteadyClock::now()).count();
        size_t received = 0;
        port_.setTimeouts({0, 0, uint32_t(std::max<long>(left, 1)), 0, 0});
        return port_.read(out, count, received) == 0 && received == count;
    }

    platform::SerialPort port_;
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

#pragma once
// Talks to camsim's pty with plain termios, the way a serial client would.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/camsim_process.h"

namespace simtest {

using Bytes = std::vector<uint8_t>;

// A telegram with its length and checksum filled in.
Bytes telegram(uint16_t code, const Bytes& payload = {});
Bytes withU32s(std::initializer_list<uint32_t> words);
uint16_t u16At(const Bytes& b, size_t offset);
uint32_t u32At(const Bytes& b, size_t offset);

// The real camsim of this build, started with `args`.
class CamsimProcess : public tools::CamsimProcess {
public:
    explicit CamsimProcess(const std::vector<std::string>& args) {
        start(KF_BINARY_DIR "/bin/camsim", args);
    }
    bool started() const { return !portPath().empty(); }
};

class PortClient {
public:
    explicit PortClient(const std::string& path);  // raw mode, like the transport does
    ~PortClient();
    bool isOpen() const { return fd_ >= 0; }
    void close();

    void send(const Bytes& bytes);
    // The next telegram (debug texts included), or nothing when none completes in time.
    std::optional<Bytes> receive(std::chrono::milliseconds limit);
    // Sends a command and returns the first non-debug telegram that answers it.
    std::optional<Bytes> transact(const Bytes& command,
                                  std::chrono::milliseconds limit = std::chrono::milliseconds(1000));
    // Every byte that arrives within `limit`.
    Bytes readFor(std::chrono::milliseconds limit);

private:
    int fd_ = -1;
    Bytes pending_;
};

}  // namespace simtest

#pragma once
// Runs the real camsim binary as a child with a pipe on its stdin and talks to its pty with plain
// termios, the way a serial client would.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace simtest {

using Bytes = std::vector<uint8_t>;

// A telegram with its length and checksum filled in.
Bytes telegram(uint16_t code, const Bytes& payload = {});
Bytes withU32s(std::initializer_list<uint32_t> words);
uint16_t u16At(const Bytes& b, size_t offset);
uint32_t u32At(const Bytes& b, size_t offset);

class CamsimProcess {
public:
    // Starts camsim with `args` and reads the port path from its first output line.
    explicit CamsimProcess(const std::vector<std::string>& args);
    ~CamsimProcess();  // closes stdin and waits; kills only if camsim does not end

    bool started() const { return !portPath_.empty(); }
    const std::string& portPath() const { return portPath_; }
    pid_t pid() const { return pid_; }

    // Closes camsim's stdin and waits for it to end; its exit status, or nothing on time-out.
    std::optional<int> closeStdinAndWait(std::chrono::milliseconds limit);
    std::optional<int> waitForExit(std::chrono::milliseconds limit);

private:
    pid_t pid_ = -1;
    int stdinFd_ = -1;
    std::string portPath_;
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

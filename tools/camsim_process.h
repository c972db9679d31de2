#pragma once
// camsim as a child process, for the tests and the benchmark: started with a pipe on its standard
// input (closing it ends camsim) and its port path read from the first line it prints (with
// --camlink-port, the second line gives the address of its Camera Link socket).

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace tools {

class CamsimProcess {
public:
    CamsimProcess() = default;
    ~CamsimProcess() { stop(); }
    CamsimProcess(const CamsimProcess&) = delete;
    CamsimProcess& operator=(const CamsimProcess&) = delete;

    // False when camsim could not be started or printed no port path within 5 s.
    bool start(const std::string& binary, const std::vector<std::string>& options);
    const std::string& portPath() const { return portPath_; }
    // "127.0.0.1:PORT" of the Camera Link socket; empty without --camlink-port.
    const std::string& camlinkAddress() const { return camlinkAddress_; }
    pid_t pid() const { return pid_; }

    // Closes camsim's standard input and waits for it to end: its exit status, or nothing when
    // it did not end within `limit`.
    std::optional<int> closeStdinAndWait(std::chrono::milliseconds limit);
    std::optional<int> waitForExit(std::chrono::milliseconds limit);
    // Ends camsim: closes its input, waits up to 3 s for it to save its state, then kills it.
    void stop();

private:
    pid_t pid_ = -1;
    int stdinFd_ = -1;
    std::string portPath_;
    std::string camlinkAddress_;
};

}  // namespace tools

#pragma once
// The plain C host (tessiport_c_host) as a child process: its steps as arguments, its output
// read line by line, and the environment that points the library at camsim and at a shared
// block and folder of the test's own.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tessiport_test {

extern const std::string kLibrary;  // build/lib/libtessiport.so

using Environment = std::map<std::string, std::string>;

class HostProcess {
public:
    HostProcess() = default;
    ~HostProcess();
    HostProcess(const HostProcess&) = delete;
    HostProcess& operator=(const HostProcess&) = delete;

    bool start(const std::vector<std::string>& steps, const Environment& environment);
    // The next line of output without its newline; nothing at the end or after `limit`.
    std::optional<std::string> readLine(std::chrono::milliseconds limit = std::chrono::seconds(10));
    // Reads output up to the line "paused" (collected in `lines`) and, once `between` has run,
    // lets the "pause" step go on. False when the host did not pause.
    bool passPause(std::vector<std::string>& lines, const std::function<void()>& between);
    // Closes standard input (ends a "wait" step) and collects the remaining output lines.
    std::vector<std::string> finish();
    void killHard();
    // Exit status (128 + signal when killed); nothing when it did not end within 10 s.
    std::optional<int> wait();

private:
    pid_t pid_ = -1;
    int stdinFd_ = -1;
    int stdoutFd_ = -1;
    std::string pending_;
};

// A shared block instance name no other test uses.
std::string uniqueInstance();
// Where the library keeps the shared block of `instance` in a private `folder`.
std::string blockPath(const std::string& folder, const std::string& instance);
// The shared block at `path` as another process sees it.
struct BlockView {
    bool exists = false;
    uint32_t count = 0;
    std::string folder;
    std::string logPath;
};
BlockView readBlock(const std::string& path);

}  // namespace tessiport_test

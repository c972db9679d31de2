#include "tools/camsim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

extern char** environ;

namespace tools {

using namespace std::chrono;

bool CamsimProcess::start(const std::string& binary, const std::vector<std::string>& options) {
    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0)
        return false;
    if (::pipe2(out, O_CLOEXEC) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::vector<char*> argv = {const_cast<char*>(binary.c_str())};
    for (const std::string& option : options)
        argv.push_back(const_cast<char*>(option.c_str()));
    argv.push_back(nullptr);
    const int rc = posix_spawn(&pid_, binary.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    stdinFd_ = in[1];
    if (rc != 0) {
        pid_ = -1;
        ::close(out[0]);
        return false;
    }
    const auto deadline = steady_clock::now() + seconds(5);
    // One line of camsim's output, or nothing when it does not come within the 5 s.
    auto readLine = [&]() -> std::optional<std::string> {
        std::string line;
        char c = 0;
        while (true) {
            const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
            pollfd readable{out[0], POLLIN, 0};
            if (left <= 0 || ::poll(&readable, 1, int(left)) <= 0) return std::nullopt;
            if (::read(out[0], &c, 1) != 1) return std::nullopt;
            if (c == '\n') return line;
            line += c;
        }
    };
    portPath_ = readLine().value_or("");
    bool camlink = false;
    for (const std::string& option : options)
        camlink = camlink || option == "--camlink-port" || option.rfind("--camlink-port=", 0) == 0;
    if (!portPath_.empty() && camlink) {
        const std::string prefix = "camlink ";
        const std::string line = readLine().value_or("");
        if (line.rfind(prefix, 0) == 0) camlinkAddress_ = line.substr(prefix.size());
        if (camlinkAddress_.empty()) portPath_.clear();
    }
    ::close(out[0]);
    return !portPath_.empty();
}

std::optional<int> CamsimProcess::closeStdinAndWait(milliseconds limit) {
    if (stdinFd_ >= 0) {
        ::close(stdinFd_);
        stdinFd_ = -1;
    }
    return waitForExit(limit);
}

std::optional<int> CamsimProcess::waitForExit(milliseconds limit) {
    if (pid_ <= 0)
        return std::nullopt;
    const auto deadline = steady_clock::now() + limit;
    while (true) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (steady_clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(milliseconds(5));
    }
}

void CamsimProcess::stop() {
    if (pid_ > 0 && !closeStdinAndWait(seconds(3))) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    if (stdinFd_ >= 0) {
        ::close(stdinFd_);
        stdinFd_ = -1;
    }
}

}  // namespace tools

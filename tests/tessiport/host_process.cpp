#include "host_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "tessiport/shared_block.h"

extern char** environ;

namespace tessiport_test {

using namespace std::chrono;

const std::string kLibrary = KF_BINARY_DIR "/lib/libtessiport.so";
static const std::string kHost = KF_BINARY_DIR "/bin/tessiport_c_host";

HostProcess::~HostProcess() {
    if (pid_ > 0)
        killHard();
    if (stdinFd_ >= 0)
        ::close(stdinFd_);
    if (stdoutFd_ >= 0)
        ::close(stdoutFd_);
}

bool HostProcess::start(const std::vector<std::string>& steps, const Environment& environment) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
        return false;
    // env(1) puts the test's variables over the inherited ones.
    std::vector<std::string> args = {"env"};
    for (const auto& [name, value] : environment)
        args.push_back(name + "=" + value);
    args.insert(args.end(), {kHost, kLibrary});
    args.insert(args.end(), steps.begin(), steps.end());
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    const int rc = posix_spawnp(&pid_, "env", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    stdinFd_ = in[1];
    stdoutFd_ = out[0];
    if (rc != 0)
        pid_ = -1;
    return rc == 0;
}

std::optional<std::string> HostProcess::readLine(milliseconds limit) {
    const auto deadline = steady_clock::now() + limit;
    while (true) {
        const size_t newline = pending_.find('\n');
        if (newline != std::string::npos) {
            std::string line = pending_.substr(0, newline);
            pending_.erase(0, newline + 1);
            return line;
        }
        const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
        pollfd readable{stdoutFd_, POLLIN, 0};
        if (left <= 0 || ::poll(&readable, 1, int(left)) <= 0)
            return std::nullopt;
        char chunk[4096];
        const ssize_t got = ::read(stdoutFd_, chunk, sizeof chunk);
        if (got <= 0)
            return std::nullopt;
        pending_.append(chunk, size_t(got));
    }
}

bool HostProcess::passPause(std::vector<std::string>& lines, const std::function<void()>& between) {
    while (auto line = readLine()) {
        if (*line != "paused") {
            lines.push_back(*line);
            continue;
        }
        between();
        return stdinFd_ >= 0 && ::write(stdinFd_, "\n", 1) == 1;
    }
    return false;
}

std::vector<std::string> HostProcess::finish() {
    if (stdinFd_ >= 0)
        ::close(stdinFd_);
    stdinFd_ = -1;
    std::vector<std::string> lines;
    while (auto line = readLine())
        lines.push_back(*line);
    return lines;
}

void HostProcess::killHard() {
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

std::optional<int> HostProcess::wait() {
    if (pid_ <= 0)
        return std::nullopt;
    const auto deadline = steady_clock::now() + seconds(10);
    while (steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(milliseconds(2));
    }
    return std::nullopt;
}

std::string uniqueInstance() {
    static std::atomic<int> counter{0};
    return "test" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
}

std::string blockPath(const std::string& folder, const std::string& instance) {
    return folder + "/TESSIPORT-" + instance;
}

BlockView readBlock(const std::string& path) {
    BlockView view;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return view;
    void* mapped = mmap(nullptr, tessiport::kSharedStateSize, PROT_READ, MAP_SHARED, fd, 0);
    ::close(fd);
    if (mapped == MAP_FAILED)
        return view;
    const auto* state = static_cast<const tessiport::SharedState*>(mapped);
    view.exists = true;
    view.count = state->DWDllOpened;
    view.folder = std::string(state->folder, strnlen(state->folder, sizeof state->folder));
    view.logPath = std::string(state->logPath, strnlen(state->logPath, sizeof state->logPath));
    munmap(mapped, tessiport::kSharedStateSize);
    return view;
}

}  // namespace tessiport_test

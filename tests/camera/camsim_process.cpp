#include "camsim_process.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

namespace camera::test {

std::string CamsimProcess::binaryPath() { return std::string(KF_BINARY_DIR) + "/bin/camsim"; }

bool CamsimProcess::available() { return access(binaryPath().c_str(), X_OK) == 0; }

bool CamsimProcess::start(const std::vector<std::string>& options) {
    int toChild[2];
    int fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0) return false;
    if (pipe2(fromChild, O_CLOEXEC) != 0) {
        close(toChild[0]);
        close(toChild[1]);
        return false;
    }
    const std::string binary = binaryPath();
    std::vector<std::string> args{binary};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_ = fork();
    if (pid_ == 0) {
        dup2(toChild[0], STDIN_FILENO);
        dup2(fromChild[1], STDOUT_FILENO);
        execv(binary.c_str(), argv.data());
        _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    stdinFd_ = toChild[1];
    if (pid_ < 0) {
        close(fromChild[0]);
        return false;
    }
    // The first line is the port path.
    char c = 0;
    while (read(fromChild[0], &c, 1) == 1 && c != '\n') portPath_ += c;
    close(fromChild[0]);
    return !portPath_.empty();
}

void CamsimProcess::stop() {
    if (stdinFd_ >= 0) {
        close(stdinFd_);
        stdinFd_ = -1;
    }
    if (pid_ <= 0) return;
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

CamsimProcess::~CamsimProcess() { stop(); }

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "camera_test_XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

}  // namespace camera::test

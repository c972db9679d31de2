#include "camsim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

extern char** environ;

namespace simtest {

using namespace std::chrono;

Bytes telegram(uint16_t code, const Bytes& payload) {
    // Sized once and filled by index: g++ 12 at -O2 misreads insert() after an initializer list.
    Bytes t(payload.size() + 4);
    t[0] = uint8_t(code);
    t[1] = uint8_t(code >> 8);
    t[2] = uint8_t(payload.size() + 5);
    t[3] = uint8_t((payload.size() + 5) >> 8);
    std::copy(payload.begin(), payload.end(), t.begin() + 4);
    uint8_t sum = 0;
    for (uint8_t b : t) sum = uint8_t(sum + b);
    t.push_back(sum);
    return t;
}

Bytes withU32s(std::initializer_list<uint32_t> words) {
    Bytes out;
    for (uint32_t w : words)
        for (int i = 0; i < 4; ++i) out.push_back(uint8_t(w >> (8 * i)));
    return out;
}

uint16_t u16At(const Bytes& b, size_t offset) {
    return offset + 2 <= b.size() ? uint16_t(b[offset] | b[offset + 1] << 8) : 0xDEAD;
}

uint32_t u32At(const Bytes& b, size_t offset) {
    if (offset + 4 > b.size()) return 0xDEADBEEF;
    return uint32_t(b[offset]) | uint32_t(b[offset + 1]) << 8 | uint32_t(b[offset + 2]) << 16 |
           uint32_t(b[offset + 3]) << 24;
}

namespace {

// Waits until `fd` is readable or the deadline passes.
bool waitReadable(int fd, steady_clock::time_point deadline) {
    const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
    if (left <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, int(left)) > 0;
}

}  // namespace

CamsimProcess::CamsimProcess(const std::vector<std::string>& args) {
    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0) return;
    if (::pipe2(out, O_CLOEXEC) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    const std::string binary = KF_BINARY_DIR "/bin/camsim";
    std::vector<char*> argv = {const_cast<char*>(binary.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const int rc = posix_spawn(&pid_, binary.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    stdinFd_ = in[1];
    if (rc != 0) {
        pid_ = -1;
        ::close(out[0]);
        return;
    }
    // The first line is the port path.
    const auto deadline = steady_clock::now() + seconds(5);
    std::string line;
    char c = 0;
    while (waitReadable(out[0], deadline) && ::read(out[0], &c, 1) == 1 && c != '\n') line += c;
    ::close(out[0]);
    if (c == '\n') portPath_ = line;
}

CamsimProcess::~CamsimProcess() {
    if (pid_ > 0 && !closeStdinAndWait(seconds(3))) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (stdinFd_ >= 0) ::close(stdinFd_);
}

std::optional<int> CamsimProcess::closeStdinAndWait(milliseconds limit) {
    if (stdinFd_ >= 0) {
        ::close(stdinFd_);
        stdinFd_ = -1;
    }
    return waitForExit(limit);
}

std::optional<int> CamsimProcess::waitForExit(milliseconds limit) {
    if (pid_ <= 0) return std::nullopt;
    const auto deadline = steady_clock::now() + limit;
    while (true) {
        int status = 0;
        const pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(milliseconds(5));
    }
}

PortClient::PortClient(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) return;
    termios tio{};
    ::tcgetattr(fd_, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd_, TCSANOW, &tio);
    ::tcflush(fd_, TCIOFLUSH);
}

PortClient::~PortClient() { close(); }

void PortClient::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void PortClient::send(const Bytes& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) done += size_t(n);
        else std::this_thread::sleep_for(milliseconds(1));
    }
}

std::optional<Bytes> PortClient::receive(milliseconds limit) {
    const auto deadline = steady_clock::now() + limit;
    while (true) {
        if (pending_.size() >= 4) {
            const size_t length = u16At(pending_, 2);
            if (length >= 5 && pending_.size() >= length) {
                Bytes t(pending_.begin(), pending_.begin() + long(length));
                pending_.erase(pending_.begin(), pending_.begin() + long(length));
                return t;
            }
        }
        if (!waitReadable(fd_, deadline)) return std::nullopt;
        uint8_t buffer[1024];
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n > 0) pending_.insert(pending_.end(), buffer, buffer + n);
    }
}

std::optional<Bytes> PortClient::transact(const Bytes& command, milliseconds limit) {
    send(command);
    const auto deadline = steady_clock::now() + limit;
    while (true) {
        const auto left = duration_cast<milliseconds>(deadline - steady_clock::now());
        auto reply = receive(left);
        if (!reply || (*reply)[0] != 0x19) return reply;
    }
}

Bytes PortClient::readFor(milliseconds limit) {
    const auto deadline = steady_clock::now() + limit;
    Bytes all = std::move(pending_);
    pending_.clear();
    uint8_t buffer[1024];
    while (waitReadable(fd_, deadline)) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n > 0) all.insert(all.end(), buffer, buffer + n);
    }
    return all;
}

}  // namespace simtest

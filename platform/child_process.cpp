#include "platform/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

extern char** environ;

namespace platform {

ChildProcess::~ChildProcess() {
    if (output_ >= 0)
        ::close(int(output_));
    if (errors_ >= 0)
        ::close(int(errors_));
    wait();
}

int ChildProcess::start(const std::string& program, const std::vector<std::string>& arguments) {
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return errno;
    if (::pipe2(err, O_CLOEXEC) != 0) {
        const int error = errno;
        ::close(out[0]);
        ::close(out[1]);
        return error;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    // A process group of its own: Ctrl-C on the terminal reaches this program only, which
    // passes it on once.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);

    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int failure =
        ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(out[1]);
    ::close(err[1]);
    if (failure != 0) {
        ::close(out[0]);
        ::close(err[0]);
        return failure;
    }
    process_ = pid;
    output_ = out[0];
    errors_ = err[0];
    return 0;
}

long ChildProcess::read(bool errors, char* buffer, size_t size) {
    const int fd = int(errors ? errors_ : output_);
    if (fd < 0)
        return -1;
    for (;;) {
        const ssize_t got = ::read(fd, buffer, size);
        if (got >= 0 || errno != EINTR)
            return long(got);
    }
}

void ChildProcess::stop(int request) {
    if (process_ > 0 && status_ < 0)
        ::kill(pid_t(process_), request);
}

int ChildProcess::wait() {
    if (process_ <= 0 || status_ >= 0)
        return status_;
    int status = 0;
    while (::waitpid(pid_t(process_), &status, 0) < 0)
        if (errno != EINTR)
            return status_ = 127;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return status_;
}

std::string ChildProcess::ownProgram() {
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, size_t(length)) : std::string();
}

}  // namespace platform

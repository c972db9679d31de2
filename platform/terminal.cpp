#include "platform/terminal.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "platform/read_line.h"

namespace platform {

int outputColumns() {
    winsize size{};
    return ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 ? int(size.ws_col) : 0;
}


bool readHiddenLine(const std::string& prompt, std::string& line) {
    const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    termios saved{};
    const bool isTerminal = ::tcgetattr(fd, &saved) == 0;
    if (isTerminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        quiet.c_lflag |= ECHONL;
        ::tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    bool ok = isTerminal && ::write(fd, prompt.data(), prompt.size()) >= 0;
    ok = ok && readLineFromDescriptor(fd, line);
    if (isTerminal)
        ::tcsetattr(fd, TCSAFLUSH, &saved);
    ::close(fd);
    return ok;
}

bool readLineFromDescriptor(int fd, std::string& line) {
    return readLineByBytes(
        [fd](char& c) {
            for (;;) {
                const ssize_t got = ::read(fd, &c, 1);
                if (got < 0 && errno == EINTR)
                    continue;
                return got > 0;
            }
        },
        line);
}

}  // namespace platform

#include "sim/pty_endpoint.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace sim {

namespace {
std::string systemError(const char* what) { return std::string(what) + ": " + std::strerror(errno); }
}  // namespace

std::unique_ptr<PtyEndpoint> PtyEndpoint::create(std::string& error) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) {
        error = systemError("posix_openpt");
        return nullptr;
    }
    char name[PATH_MAX] = {};
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
        ::ptsname_r(master, name, sizeof name) != 0) {
        error = systemError("pty set-up");
        ::close(master);
        return nullptr;
    }
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        error = systemError("opening the pty slave");
        ::close(master);
        return nullptr;
    }
    // Raw before anybody can see the path: a new pty echoes and edits lines.
    termios tio{};
    if (::tcgetattr(slave, &tio) != 0) {
        error = systemError("tcgetattr");
    } else {
        ::cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        tio.c_cc[VMIN] = 1;
        tio.c_cc[VTIME] = 0;
        if (::tcsetattr(slave, TCSANOW, &tio) != 0) error = systemError("tcsetattr");
    }
    const int flags = ::fcntl(master, F_GETFL);
    if (error.empty() && (flags < 0 || ::fcntl(master, F_SETFL, flags | O_NONBLOCK) != 0))
        error = systemError("fcntl");
    if (!error.empty()) {
        ::close(slave);
        ::close(master);
        return nullptr;
    }
    return std::unique_ptr<PtyEndpoint>(new PtyEndpoint(master, slave, name));
}

PtyEndpoint::PtyEndpoint(int master, int slave, std::string path)
    : master_(master), slave_(slave), slavePath_(std::move(path)) {}

PtyEndpoint::~PtyEndpoint() {
    ::close(slave_);
    ::close(master_);
}

std::unique_ptr<PortLink> PortLink::create(const std::string& linkPath, const std::string& target,
                                           std::string& error) {
    struct stat st{};
    if (::lstat(linkPath.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            error = linkPath + " exists and is not a symlink; not replaced";
            return nullptr;
        }
        if (::unlink(linkPath.c_str()) != 0) {
            error = systemError(("removing the old link " + linkPath).c_str());
            return nullptr;
        }
    }
    if (::symlink(target.c_str(), linkPath.c_str()) != 0) {
        error = systemError(("creating the link " + linkPath).c_str());
        return nullptr;
    }
    return std::unique_ptr<PortLink>(new PortLink(linkPath, target));
}

PortLink::PortLink(std::string linkPath, std::string target)
    : linkPath_(std::move(linkPath)), target_(std::move(target)) {}

PortLink::~PortLink() {
    // Another camsim may have taken the name over since; leave its link alone.
    char buffer[PATH_MAX] = {};
    const ssize_t n = ::readlink(linkPath_.c_str(), buffer, sizeof buffer - 1);
    if (n > 0 && target_ == std::string(buffer, size_t(n))) ::unlink(linkPath_.c_str());
}

}  // namespace sim

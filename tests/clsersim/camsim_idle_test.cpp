// A Camera Link client that leaves camsim leaves it idle: closed through the library, reset by
// the peer, or killed, camsim uses next to no CPU time in the seconds after, whether or not its
// devices hold unsaved changes (--firmware makes them; without --state they are never saved).

#include <signal.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "grabber.h"
#include "sim/clsersim/line_frame.h"

using namespace cltest;
using namespace std::chrono_literals;

namespace {

// User and system time of process `pid` in clock ticks.
long cpuTicks(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::stol(field);
        if (i == 15) stime = std::stol(field);
    }
    return utime + stime;
}

// A raw client on camsim's socket: one GET_CAMERA_TYPE in a frame at 9600 baud, its reply read.
int rawClientAsks(const std::string& address) {
    const auto port = uint16_t(std::stoi(address.substr(address.rfind(':') + 1)));
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return -1;
    const Bytes command = telegram(0x0110);
    clsersim::Bytes framed;
    clsersim::appendFrames(framed, 9600, command.data(), command.size());
    if (::send(fd, framed.data(), framed.size(), 0) != ssize_t(framed.size())) return -1;
    uint8_t reply[64];
    if (::recv(fd, reply, sizeof reply, 0) <= 0) return -1;
    return fd;
}

enum class Leave { Closed, Reset, Killed };

void leave(Leave how, Link& link) {
    const std::string address = link.cam.sim.camlinkAddress();
    switch (how) {
        case Leave::Closed:
            ASSERT_EQ(link.code(telegram(0x0110)), 0x0190);
            link.grabber.close(link.ref);
            link.rc = -1;  // closed already
            break;
        case Leave::Reset: {
            const int fd = rawClientAsks(address);
            ASSERT_GE(fd, 0);
            const linger abort{1, 0};  // close with RST
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
            ::close(fd);
            break;
        }
        case Leave::Killed: {
            int ready[2];
            ASSERT_EQ(::pipe(ready), 0);
            const pid_t child = ::fork();
            if (child == 0) {
                const char asked = rawClientAsks(address) >= 0 ? 1 : 0;
                (void)!::write(ready[1], &asked, 1);
                ::pause();
                _exit(0);
            }
            char asked = 0;
            ASSERT_EQ(::read(ready[0], &asked, 1), 1);
            EXPECT_EQ(asked, 1);
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
            ::close(ready[0]);
            ::close(ready[1]);
            break;
        }
    }
}

}  // namespace

TEST(CamsimIdle, AClientThatLeavesLeavesCamsimIdle) {
    const struct {
        const char* name;
        Leave how;
        std::vector<std::string> args;
    } cases[] = {
        {"closed", Leave::Closed, {}},
        {"reset", Leave::Reset, {}},
        {"killed", Leave::Killed, {}},
        {"closed, unsaved devices", Leave::Closed, {"--firmware", "0:4:1.00"}},
        {"reset, unsaved devices", Leave::Reset, {"--firmware", "1:4:1.00"}},
        {"killed, unsaved devices", Leave::Killed, {"--firmware", "2:4:1.00"}},
    };
    const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Link link(c.args);
        ASSERT_EQ(link.rc, 0);
        leave(c.how, link);
        // Past camsim's save delay (400 ms), where the spin began.
        std::this_thread::sleep_for(600ms);
        const pid_t pid = link.cam.sim.pid();
        const long before = cpuTicks(pid);
        std::this_thread::sleep_for(1500ms);
        const long used = cpuTicks(pid) - before;
        // Idle is 0 ticks; a spinning camsim took 20-90 % of a core here, 0.3 s and more.
        EXPECT_LE(used * 1000 / ticksPerSecond, 50) << used << " ticks";
    }
}

// libclsersim as a host binds it, against the real camsim: exports of each variant, init,
// transactions, time-outs with partial counts, flush, references, the close knob and one client
// at a time. The library's road over it, IMAQ sessions among them, is tests/tessiport's.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <thread>

#include "grabber.h"
#include "sim/clsersim/line_frame.h"
#include "variants.h"

using namespace cltest;
using namespace std::chrono_literals;

namespace {

constexpr int32_t kTimeout = -10004;
constexpr int32_t kInvalidIndex = -10005;
constexpr int32_t kInvalidReference = -10006;
constexpr int32_t kBaudNotSupported = -10008;

const Bytes kGetCameraType = telegram(0x0110);

// A socket bound to a free loopback port, and that port's number.
int boundSocket(std::string& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    port = std::to_string(ntohs(a.sin_port));
    return fd;
}

// A socket that listens where the grabber's port 0 connects to (a camera that has not answered
// yet); its descriptor.
int listenAsPort0() {
    std::string port;
    const int listener = boundSocket(port);
    EXPECT_EQ(::listen(listener, 1), 0);
    ::setenv("CLSERSIM_PORT0", port.c_str(), 1);
    return listener;
}

}  // namespace

TEST(ClsersimExports, EachVariantExportsExactlyItsFunctions) {
    for (const Variant& variant : kVariants) {
        SCOPED_TRACE(variant.name);
        EXPECT_EQ(libtest::exportedNames(libraryPath(variant.name)), variant.exports);
    }
}

TEST(ClsersimInit, RefusesAnIndexWithoutAReachablePort) {
    Grabber g;
    // The values of CLSERSIM_PORT7 that lead nowhere; null: the variable is not set.
    for (const char* value : {static_cast<const char*>(nullptr), "", "abc", "0", "70000",
                              "127.0.0.1:", "127.0.0.1:12x"}) {
        SCOPED_TRACE(value ? value : "(unset)");
        if (value)
            ::setenv("CLSERSIM_PORT7", value, 1);
        else
            ::unsetenv("CLSERSIM_PORT7");
        void* ref = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(g.init(7, &ref), kInvalidIndex);
        EXPECT_EQ(ref, nullptr);
    }
    std::string port;
    ::close(boundSocket(port));
    ::setenv("CLSERSIM_PORT7", port.c_str(), 1);  // nothing listening
    void* ref = nullptr;
    EXPECT_EQ(g.init(7, &ref), kInvalidIndex);
    EXPECT_EQ(g.init(7, nullptr), kInvalidReference);
}

TEST(ClsersimTransfer, APartialCountAFlushBadRatesAndClosedOrForeignReferences) {
    Link o({"--serial", "77"});
    ASSERT_EQ(o.rc, 0);
    const Bytes reply = o.grabber.transact(o.ref, kGetCameraType);
    ASSERT_EQ(reply.size(), 24u);
    EXPECT_EQ(u16At(reply, 0), 0x0190);
    EXPECT_EQ(u32At(reply, 8), 77u);

    // 24 bytes come, 30 are asked for: the read waits out its time-out and says how many came.
    ASSERT_EQ(o.grabber.send(o.ref, kGetCameraType), 0);
    int32_t rc = 0;
    const auto start = SteadyClock::now();
    const Bytes partial = o.grabber.receive(o.ref, 30, 200, rc);
    const auto took = SteadyClock::now() - start;
    EXPECT_EQ(rc, kTimeout);
    EXPECT_EQ(partial.size(), 24u);
    EXPECT_EQ(u16At(partial, 0), 0x0190);
    EXPECT_GE(took, 195ms);
    EXPECT_LT(took, 500ms);

    // Nothing waiting: a zero time-out returns at once with nothing; zero bytes always succeed.
    EXPECT_TRUE(o.grabber.receive(o.ref, 1, 0, rc).empty());
    EXPECT_EQ(rc, kTimeout);
    o.grabber.receive(o.ref, 0, 0, rc);
    EXPECT_EQ(rc, 0);

    // A flush drops a reply that has arrived; the port stays usable.
    ASSERT_EQ(o.grabber.send(o.ref, kGetCameraType), 0);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(o.grabber.flush(o.ref), 0);
    EXPECT_TRUE(o.grabber.receive(o.ref, 1, 100, rc).empty());
    EXPECT_EQ(rc, kTimeout);
    EXPECT_EQ(o.grabber.transact(o.ref, kGetCameraType).size(), 24u);

    // The rates, and references that are closed or foreign.
    Grabber& g = o.grabber;
    uint32_t mask = 0;
    EXPECT_EQ(g.getBaudRates(o.ref, &mask), 0);
    EXPECT_EQ(mask, 0x1Fu);
    ::setenv("CLSERSIM_BAUDRATES", "0x03", 1);
    for (uint32_t bit : {0u, 3u, 4u, 0x100u})
        EXPECT_EQ(g.setBaudRate(o.ref, bit), kBaudNotSupported) << bit;
    EXPECT_EQ(g.setBaudRate(o.ref, 2), 0);
    ::unsetenv("CLSERSIM_BAUDRATES");
    EXPECT_EQ(g.getBaudRates(o.ref, nullptr), kInvalidReference);

    // The close knob throws after the port is closed: the reference is refused from then on.
    ::setenv("CLSERSIM_CLOSE_THROWS", "1", 1);
    EXPECT_ANY_THROW(g.close(o.ref));
    ::unsetenv("CLSERSIM_CLOSE_THROWS");
    int local = 0;
    for (void* ref : {o.ref, static_cast<void*>(&local), static_cast<void*>(nullptr)}) {
        int32_t rc = 0;
        g.receive(ref, 4, 10, rc);
        EXPECT_EQ(rc, kInvalidReference);
        EXPECT_EQ(g.send(ref, kGetCameraType), kInvalidReference);
        EXPECT_EQ(g.flush(ref), kInvalidReference);
        EXPECT_EQ(g.setBaudRate(ref, 1), kInvalidReference);
        EXPECT_EQ(g.getBaudRates(ref, &mask), kInvalidReference);
    }
}

TEST(ClsersimLine, ANewClientReplacesTheOldAndACameraThatComesBackIsReachedAgain) {
    Link first({"--erase-time", "300"});
    ASSERT_EQ(first.rc, 0);
    Grabber& g = first.grabber;
    void* ref = first.ref;
    const std::string address = first.cam.sim.camlinkAddress();
    // The new client connects while the camera works on the old one's erase: that answer, made
    // for the old client, does not reach the new one.
    ASSERT_EQ(first.code(telegram(0x7103, Bytes(8, 0))), 0x7183);
    ASSERT_EQ(g.send(ref, telegram(0x1003, Bytes(8, 0))), 0);
    std::this_thread::sleep_for(50ms);
    void* second = nullptr;
    ASSERT_EQ(g.init(0, &second), 0);
    int32_t rc = 0;
    EXPECT_TRUE(g.receive(second, 4, 500, rc).empty());
    EXPECT_EQ(rc, kTimeout);
    EXPECT_EQ(g.transact(second, kGetCameraType).size(), 24u);
    // The first connection was dropped: a dead line, whose reads time out.
    EXPECT_EQ(g.send(ref, kGetCameraType), 0);
    EXPECT_TRUE(g.receive(ref, 4, 100, rc).empty());
    EXPECT_EQ(rc, kTimeout);
    g.close(second);

    // A second camsim cannot take the address while the first holds it.
    tools::CamsimProcess taken;
    EXPECT_FALSE(taken.start(KF_BINARY_DIR "/bin/camsim",
                             {"--camlink-port", address.substr(address.rfind(':') + 1)}));
    EXPECT_EQ(taken.waitForExit(2s), 1);

    // Switched off: writes go nowhere, reads time out. Switched on again at the same address:
    // the next write reaches it through the same reference.
    first.cam.sim.stop();
    EXPECT_EQ(g.send(ref, kGetCameraType), 0);
    g.receive(ref, 4, 50, rc);
    EXPECT_EQ(rc, kTimeout);
    tools::CamsimProcess again;
    ASSERT_TRUE(again.start(KF_BINARY_DIR "/bin/camsim",
                            {"--camlink-port", address.substr(address.rfind(':') + 1)}));
    EXPECT_EQ(g.transact(ref, kGetCameraType).size(), 24u);
}

TEST(ClsersimLine, AWriteThatThePeerDoesNotTakeTimesOutWithTheCountTaken) {
    const int listener = listenAsPort0();
    Grabber g;
    void* ref = nullptr;
    ASSERT_EQ(g.init(0, &ref), 0);  // accepted by the kernel's backlog, never read
    Bytes big(64 << 20, 0x11);
    uint32_t count = uint32_t(big.size());
    const auto start = SteadyClock::now();
    EXPECT_EQ(g.write(ref, reinterpret_cast<char*>(big.data()), &count, 100), kTimeout);
    EXPECT_GE(SteadyClock::now() - start, 95ms);
    EXPECT_GT(count, 0u);
    EXPECT_LT(count, big.size());
    g.close(ref);
    ::close(listener);
}

// What comes on the line is taken as soon as it is all there, however the frames are cut: many
// small frames a little apart, a frame whose last bytes come later than its first (the reader
// then holds part of it already), and fewer bytes than asked for (the time-out, with the count).
TEST(ClsersimLine, AReadTakesWhatCameAsSoonAsItIsThereHoweverItsFramesAreCut) {
    Bytes reply(269);
    for (size_t i = 0; i < reply.size(); ++i)
        reply[i] = uint8_t(i);
    clsersim::Bytes small, whole;
    for (size_t at = 0; at < reply.size(); at += 16)
        clsersim::appendFrames(small, 9600, reply.data() + at, std::min<size_t>(16, reply.size() - at));
    clsersim::appendFrames(whole, 9600, reply.data(), 20);
    const clsersim::Bytes head(whole.begin(), whole.end() - 6), tail(whole.end() - 6, whole.end());
    const struct {
        const char* name;
        std::vector<clsersim::Bytes> pieces;  // sent 20 ms apart
        uint32_t wanted;
        int32_t rc;
        size_t got;
    } cases[] = {
        {"frames of 16 bytes", {small}, 269, 0, 269},
        {"a frame's last bytes later", {head, tail}, 20, 0, 20},
        {"fewer than asked for", {head, tail}, 30, kTimeout, 20},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int listener = listenAsPort0();
        Grabber g;
        void* ref = nullptr;
        ASSERT_EQ(g.init(0, &ref), 0);
        const int camera = ::accept(listener, nullptr, nullptr);
        ASSERT_GE(camera, 0);
        std::thread sender([&] {
            for (const clsersim::Bytes& piece : c.pieces) {
                // The small frames one by one, as a paced camera sends them.
                for (size_t at = 0; at < piece.size(); at += 22) {
                    const size_t n = std::min<size_t>(22, piece.size() - at);
                    ::send(camera, piece.data() + at, n, MSG_NOSIGNAL);
                    std::this_thread::sleep_for(1ms);
                }
                std::this_thread::sleep_for(20ms);
            }
        });
        int32_t rc = 1;
        const auto start = SteadyClock::now();
        const Bytes got = g.receive(ref, c.wanted, 1000, rc);
        const auto took = SteadyClock::now() - start;
        sender.join();
        EXPECT_EQ(rc, c.rc);
        EXPECT_EQ(got, Bytes(reply.begin(), reply.begin() + long(c.got)));
        if (c.rc == 0)
            EXPECT_LT(took, 500ms);
        else
            EXPECT_GE(took, 995ms);
        g.close(ref);
        ::close(camera);
        ::close(listener);
    }
}

namespace {
Grabber* exitGrabber = nullptr;
void* exitRef = nullptr;
void closeAtExit() {
    exitGrabber->close(exitRef);
    uint32_t mask = 0;
    exitGrabber->getBaudRates(exitRef, &mask);
}
}  // namespace

TEST(ClsersimClose, AHostMayCloseItsPortAfterTheLibrarysStaticsAreGone) {
    CamLinkCamera cam({});
    const pid_t child = ::fork();
    if (child == 0) {
        // Registered before the library is loaded, so it runs after the library's own clean-up,
        // as a host's exit-time close does.
        std::atexit(closeAtExit);
        exitGrabber = new Grabber();
        if (exitGrabber->init(0, &exitRef) != 0)
            ::_exit(3);
        std::exit(0);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

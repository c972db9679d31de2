// The serial port measured on a pseudo terminal whose master side plays the device. Time bounds
// are generous so that a busy machine does not fail them.

#include "platform/serial_port.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <stdlib.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "platform/serial_baud.h"

using namespace std::chrono_literals;
using platform::SerialPort;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

namespace {

std::chrono::milliseconds since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

class SerialPortOnPty : public ::testing::Test {
protected:
    void SetUp() override {
        termios raw{};
        ::cfmakeraw(&raw);
        // The slave stays open so that the master never sees a hang-up between opens.
        ASSERT_EQ(::openpty(&master_, &slave_, nullptr, &raw, nullptr), 0);
        path_ = ::ptsname(master_);
        ASSERT_EQ(port_.open(path_), 0);
        ASSERT_EQ(port_.configure(57600), 0);
    }
    void TearDown() override {
        ::close(slave_);
        ::close(master_);
    }

    void send(const Bytes& bytes) {
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }
    // Reads `count` bytes while the device sends `first`, pauses, then sends `second`.
    std::chrono::milliseconds readWhile(size_t count, const Bytes& first,
                                        std::chrono::milliseconds pause, const Bytes& second,
                                        size_t& received) {
        std::thread device([&] {
            send(first);
            std::this_thread::sleep_for(pause);
            send(second);
        });
        uint8_t buffer[16];
        const auto start = Clock::now();
        EXPECT_EQ(port_.read(buffer, count, received), 0);
        const auto elapsed = since(start);
        device.join();
        return elapsed;
    }

    int master_ = -1, slave_ = -1;
    std::string path_;
    SerialPort port_;
};

TEST_F(SerialPortOnPty, ReadEndsAtTheCountTheTotalTimeoutOrAGapAfterTheFirstByte) {
    port_.setTimeouts({0, 5, 20, 0, 0});  // 5 x 4 + 20 = 40 ms
    size_t received = 99;
    const auto nothingCame = readWhile(4, {}, 0ms, {}, received);
    EXPECT_EQ(received, 0u);
    EXPECT_GE(nothingCame, 38ms);
    EXPECT_LT(nothingCame, 400ms);

    // The interval does not run before the first byte; the count ends the read, not the total.
    port_.setTimeouts({20, 0, 1000, 0, 0});
    const auto waited = readWhile(4, {}, 80ms, {1, 2, 3, 4}, received);
    EXPECT_GE(waited, 70ms);
    EXPECT_LT(waited, 500ms);
    EXPECT_EQ(received, 4u);

    port_.setTimeouts({30, 0, 0, 0, 0});  // no total limit: only the gap can end it
    EXPECT_LT(readWhile(6, {1, 2, 3}, 150ms, {4, 5, 6}, received), 130ms);
    EXPECT_EQ(received, 3u);
}

TEST_F(SerialPortOnPty, WriteDeliversTheBytesAndIsBoundedByItsTotalTimeout) {
    port_.setTimeouts({0, 0, 0, 0, 50});
    const Bytes telegram = {0x10, 0x01, 0x05, 0x00, 0x16};
    size_t written = 0;
    ASSERT_EQ(port_.write(telegram.data(), telegram.size(), written), 0);
    Bytes got(16);
    got.resize(size_t(std::max<ssize_t>(::read(master_, got.data(), got.size()), 0)));
    EXPECT_EQ(got, telegram);

    // Nobody reads the master now: the pty fills up and the write gives up at its time-out.
    Bytes flood(1 << 20, 0x55);
    const auto start = Clock::now();
    ASSERT_EQ(port_.write(flood.data(), flood.size(), written), 0);
    EXPECT_LT(written, flood.size());
    EXPECT_GE(since(start), 45ms);
    EXPECT_LT(since(start), 1000ms);
}

// A read takes in all the driver holds; what it did not hand out goes to the next read, counts
// as waiting (the transport's drain sees it) and goes with a purge or a close.
TEST_F(SerialPortOnPty, BytesReadAheadServeTheNextReadAndCountAsWaitingUntilPurgedAndOneOpener) {
    port_.setTimeouts({0, 0, 200, 0, 0});
    const Bytes reply = {0x10, 0x01, 0x07, 0x00, 0xAA, 0xBB, 0xCC, 0xEE, 0xEF};  // and 2 stray
    send(reply);
    std::this_thread::sleep_for(20ms);
    uint8_t header[4] = {}, body[3] = {};
    size_t received = 0;
    ASSERT_EQ(port_.read(header, 4, received), 0);
    EXPECT_EQ(Bytes(header, header + received), Bytes(reply.begin(), reply.begin() + 4));
    size_t waiting = 0;
    ASSERT_EQ(port_.bytesWaiting(waiting), 0);
    EXPECT_EQ(waiting, 5u);
    // Nothing more comes from the driver: the body is served without waiting for it.
    const auto start = Clock::now();
    ASSERT_EQ(port_.read(body, 3, received), 0);
    EXPECT_LT(since(start), 100ms);
    EXPECT_EQ(Bytes(body, body + received), Bytes(reply.begin() + 4, reply.begin() + 7));

    // A read that needs more than was read ahead takes the rest from the line.
    send({0x42});
    uint8_t tail[3] = {};
    ASSERT_EQ(port_.read(tail, 3, received), 0);
    EXPECT_EQ(Bytes(tail, tail + received), (Bytes{0xEE, 0xEF, 0x42}));

    // Bytes read ahead and bytes the driver holds both count as waiting until a purge.
    send({1, 2, 3, 4});
    std::this_thread::sleep_for(20ms);
    ASSERT_EQ(port_.read(header, 1, received), 0);
    send({5, 6});
    waiting = 0;
    for (int i = 0; i < 100 && waiting < 5; ++i, std::this_thread::sleep_for(1ms))
        ASSERT_EQ(port_.bytesWaiting(waiting), 0);
    EXPECT_EQ(waiting, 5u);
    ASSERT_EQ(port_.purge(), 0);
    ASSERT_EQ(port_.bytesWaiting(waiting), 0);
    EXPECT_EQ(waiting, 0u);
    port_.setTimeouts({0, 0, 30, 0, 0});
    ASSERT_EQ(port_.read(header, 1, received), 0);
    EXPECT_EQ(received, 0u);  // the purged bytes do not come back

    send({5, 6});
    std::this_thread::sleep_for(20ms);
    ASSERT_EQ(port_.read(header, 1, received), 0);
    port_.close();
    ASSERT_EQ(port_.open(path_), 0);
    ASSERT_EQ(port_.bytesWaiting(waiting), 0);
    EXPECT_EQ(waiting, 0u);  // nor do bytes of the port's previous opening

    // Rates outside the classic table are set exactly; a second opener is refused until the
    // first closes.
    ASSERT_EQ(port_.configure(76800), 0);
    uint32_t actual = 0;
    ASSERT_EQ(platform::getBaudRate(port_.fd(), actual), 0);
    EXPECT_EQ(actual, 76800u);

    SerialPort second;
    EXPECT_EQ(second.open(path_), EBUSY);
    port_.close();
    EXPECT_EQ(second.open(path_), 0);
}

TEST(SerialPort, ClosedPortsFailAndComPortPathsComeFromTheEnvironmentOrTheSerialDevices) {
    SerialPort port;
    uint8_t byte = 0;
    size_t moved = 7;
    EXPECT_EQ(port.read(&byte, 1, moved), EBADF);
    EXPECT_EQ(moved, 0u);
    EXPECT_EQ(port.write(&byte, 1, moved), EBADF);
    EXPECT_EQ(port.open("/nonexistent/tty"), ENOENT);
    EXPECT_EQ(port.open("/dev/null"), ENOTTY);  // not a terminal
    EXPECT_FALSE(port.isOpen());

    ::setenv("QEL_COM7", "", 1);
    EXPECT_EQ(platform::comPortPath(7), "/dev/ttyS6");
    ::setenv("QEL_COM7", "/dev/pts/42", 1);
    EXPECT_EQ(platform::comPortPath(7), "/dev/pts/42");
    ::unsetenv("QEL_COM7");
}

}  // namespace

// The serial port measured on a pseudo terminal: the test holds the master side and plays the
// device. Time bounds are generous so that a busy machine does not fail them.

#include "platform/serial_port.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

#include "platform/serial_baud.h"

using namespace std::chrono_literals;
using platform::SerialPort;
using platform::SerialTimeouts;
using Clock = std::chrono::steady_clock;

namespace {

class PtyPair {
public:
    PtyPair() {
        termios raw{};
        ::cfmakeraw(&raw);
        if (::openpty(&master_, &heldSlave_, nullptr, &raw, nullptr) != 0)
            return;
        termios masterSettings{};
        ::tcgetattr(master_, &masterSettings);
        ::cfmakeraw(&masterSettings);
        ::tcsetattr(master_, TCSANOW, &masterSettings);
        path_ = ::ptsname(master_);
    }
    ~PtyPair() {
        if (heldSlave_ >= 0)
            ::close(heldSlave_);
        if (master_ >= 0)
            ::close(master_);
    }
    const std::string& path() const { return path_; }
    void send(const std::vector<uint8_t>& bytes) const {
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }
    // Everything the port wrote, collected for up to `wait`.
    std::vector<uint8_t> collect(size_t count, std::chrono::milliseconds wait) const {
        std::vector<uint8_t> bytes;
        const auto end = Clock::now() + wait;
        ::fcntl(master_, F_SETFL, O_NONBLOCK);
        while (bytes.size() < count && Clock::now() < end) {
            uint8_t chunk[256];
            const ssize_t got = ::read(master_, chunk, sizeof chunk);
            if (got > 0)
                bytes.insert(bytes.end(), chunk, chunk + got);
            else
                std::this_thread::sleep_for(1ms);
        }
        return bytes;
    }

private:
    int master_ = -1;
    // Kept open so that the master never sees the slave side hang up between opens.
    int heldSlave_ = -1;
    std::string path_;
};

std::chrono::milliseconds since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

class SerialPortOnPty : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(pty_.path().empty());
        ASSERT_EQ(port_.open(pty_.path()), 0);
        ASSERT_EQ(port_.configure(57600), 0);
    }
    PtyPair pty_;
    SerialPort port_;
};

}  // namespace

TEST_F(SerialPortOnPty, ReadReturnsAsSoonAsTheCountArrived) {
    port_.setTimeouts({30, 0, 2000, 0, 0});
    pty_.send({1, 2, 3, 4, 5, 6, 7, 8});
    uint8_t buffer[8] = {};
    size_t received = 0;
    const auto start = Clock::now();
    ASSERT_EQ(port_.read(buffer, 8, received), 0);
    EXPECT_EQ(received, 8u);
    EXPECT_EQ(buffer[7], 8);
    EXPECT_LT(since(start), 500ms);
}

TEST_F(SerialPortOnPty, ReadEndsAtTheTotalTimeoutOfMultiplierTimesCountPlusConstant) {
    port_.setTimeouts({0, 5, 20, 0, 0});  // 5 x 4 + 20 = 40 ms
    uint8_t buffer[4];
    size_t received = 99;
    const auto start = Clock::now();
    ASSERT_EQ(port_.read(buffer, 4, received), 0);
    EXPECT_EQ(received, 0u);
    EXPECT_GE(since(start), 38ms);
    EXPECT_LT(since(start), 400ms);
}

TEST_F(SerialPortOnPty, ReadEndsWhenTheGapAfterTheFirstByteExceedsTheInterval) {
    port_.setTimeouts({30, 0, 0, 0, 0});  // no total limit: only the gap can end it
    std::thread device([&] {
        pty_.send({1, 2, 3});
        std::this_thread::sleep_for(150ms);
        pty_.send({4, 5, 6});
    });
    uint8_t buffer[6];
    size_t received = 0;
    const auto start = Clock::now();
    EXPECT_EQ(port_.read(buffer, 6, received), 0);
    const auto elapsed = since(start);
    device.join();
    EXPECT_EQ(received, 3u);
    EXPECT_LT(elapsed, 130ms);
}

TEST_F(SerialPortOnPty, TheIntervalDoesNotRunBeforeTheFirstByte) {
    port_.setTimeouts({20, 0, 1000, 0, 0});
    std::thread device([&] {
        std::this_thread::sleep_for(80ms);
        pty_.send({1, 2, 3, 4});
    });
    uint8_t buffer[4];
    size_t received = 0;
    const auto start = Clock::now();
    EXPECT_EQ(port_.read(buffer, 4, received), 0);
    const auto elapsed = since(start);
    device.join();
    EXPECT_EQ(received, 4u);
    EXPECT_GE(elapsed, 70ms);
}

TEST_F(SerialPortOnPty, WriteDeliversTheBytesAndIsBoundedByItsTotalTimeout) {
    port_.setTimeouts({0, 0, 0, 0, 50});
    const std::vector<uint8_t> telegram = {0x10, 0x01, 0x05, 0x00, 0x16};
    size_t written = 0;
    ASSERT_EQ(port_.write(telegram.data(), telegram.size(), written), 0);
    EXPECT_EQ(written, telegram.size());
    EXPECT_EQ(pty_.collect(5, 500ms), telegram);

    // Nobody reads the master now: the pty fills up and the write gives up at its time-out.
    std::vector<uint8_t> flood(1 << 20, 0x55);
    const auto start = Clock::now();
    ASSERT_EQ(port_.write(flood.data(), flood.size(), written), 0);
    EXPECT_LT(written, flood.size());
    EXPECT_GE(since(start), 45ms);
    EXPECT_LT(since(start), 1000ms);
}

TEST_F(SerialPortOnPty, BytesWaitingAndPurge) {
    pty_.send({1, 2, 3});
    size_t waiting = 0;
    for (int i = 0; i < 100 && waiting < 3; ++i) {
        ASSERT_EQ(port_.bytesWaiting(waiting), 0);
        if (waiting < 3)
            std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(waiting, 3u);
    ASSERT_EQ(port_.purge(), 0);
    ASSERT_EQ(port_.bytesWaiting(waiting), 0);
    EXPECT_EQ(waiting, 0u);
}

TEST_F(SerialPortOnPty, ASecondOpenerIsRefusedUntilTheFirstCloses) {
    SerialPort second;
    EXPECT_EQ(second.open(pty_.path()), EBUSY);
    EXPECT_FALSE(second.isOpen());
    port_.close();
    EXPECT_FALSE(port_.isOpen());
    EXPECT_EQ(second.open(pty_.path()), 0);
}

TEST_F(SerialPortOnPty, RatesOutsideTheClassicTableAreSet) {
    for (uint32_t rate : {76800u, 500000u, 115200u}) {
        ASSERT_EQ(port_.configure(rate), 0) << rate;
        uint32_t actual = 0;
        ASSERT_EQ(platform::getBaudRate(port_.fd(), actual), 0);
        EXPECT_EQ(actual, rate);
    }
}

TEST(SerialPort, CallsOnAClosedPortFailWithoutSideEffects) {
    SerialPort port;
    uint8_t byte = 0;
    size_t moved = 7;
    EXPECT_EQ(port.read(&byte, 1, moved), EBADF);
    EXPECT_EQ(moved, 0u);
    EXPECT_EQ(port.write(&byte, 1, moved), EBADF);
    EXPECT_EQ(port.configure(57600), EBADF);
    EXPECT_EQ(port.purge(), EBADF);
    EXPECT_EQ(port.open("/nonexistent/tty"), ENOENT);
    EXPECT_EQ(port.open("/dev/null"), ENOTTY);  // not a terminal
    EXPECT_FALSE(port.isOpen());
}

TEST(SerialPort, ComPortPathComesFromTheEnvironmentOrTheSerialDevices) {
    ::unsetenv("QEL_COM7");
    EXPECT_EQ(platform::comPortPath(7), "/dev/ttyS6");
    EXPECT_EQ(platform::comPortPath(1), "/dev/ttyS0");
    ::setenv("QEL_COM7", "/dev/pts/42", 1);
    EXPECT_EQ(platform::comPortPath(7), "/dev/pts/42");
    ::setenv("QEL_COM7", "", 1);
    EXPECT_EQ(platform::comPortPath(7), "/dev/ttyS6");
    ::unsetenv("QEL_COM7");
}

// The COM-port transport against a scripted camera on a pty; only the drain's pauses are virtual.

#include "protocol/com_transport.h"

#include <gtest/gtest.h>

#include <array>

#include "protocol/commands.h"
#include "pty_peer.h"
#include "recording_log.h"

using namespace protocol;
using namespace std::chrono_literals;
using testing_support::Bytes;
using testing_support::PtyPeer;
using testing_support::RecordingLog;
using testing_support::telegram;
using SteadyClock = std::chrono::steady_clock;

namespace {

const Bytes kDebugText = telegram(0x0019, {'h', 'e', 'l', 'l', 'o', '\n'});  // 11 bytes
const std::string kDebugLine = "Remove Debug command 0x19, size 11";
const Bytes kVerboseOff =
    telegram(cmd::TEXT_COMMAND, {'v', 'e', 'r', 'b', 'o', 's', 'e', ' ', '0', '\r'});

Bytes cameraTypeReply(uint16_t type, uint32_t serial) {
    Bytes payload(18, 0);
    writeU16(&payload[0], type);
    writeU32(&payload[4], serial);
    return telegram(0x0190, payload);
}

// Answers "verbose 0\r" at once, as a camera does, and GET_CAMERA_TYPE through `onCameraType`.
PtyPeer::Handler camera(std::function<void(PtyPeer&)> onCameraType = {}) {
    return [onCameraType](PtyPeer& peer, const Bytes& command) {
        const uint16_t code = readU16(command.data());
        if (code == cmd::TEXT_COMMAND) peer.send(telegram(0x0099));
        if (code == cmd::GET_CAMERA_TYPE && onCameraType) onCameraType(peer);
    };
}

class ComTransportOnPty : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(peer_.path().empty());
        ::setenv("QEL_COM1", peer_.path().c_str(), 1);
        peer_.setHandler(camera());
    }

    ErrorCode cameraType(uint32_t timeoutMs, uint32_t capacity = cap::GET_CAMERA_TYPE) {
        const Request request = simpleRequest(cmd::GET_CAMERA_TYPE);
        reply_.fill(0xEE);
        return programmer_.transaction(request.data(), request.size, reply_.data(), capacity,
                                       timeoutMs);
    }

    PtyPeer peer_;
    RecordingLog log_;
    platform::VirtualClock clock_;
    ComTransport programmer_{Variant::Programmer, log_, clock_};
    std::array<uint8_t, 600> reply_{};
};

}  // namespace

TEST_F(ComTransportOnPty, OpensIndexPlusOneAndKeepsThePortOnlyForTheIdentifiedPortNumber) {
    EXPECT_EQ(programmer_.openByIndex(-1, -1), kErrPortIndex);
    ASSERT_EQ(programmer_.openByIndex(0, -1), kOk);
    ASSERT_EQ(peer_.commands().size(), 1u);
    EXPECT_EQ(peer_.commands()[0], kVerboseOff);
    // The port number now leads elsewhere: a kept port still shows the old path.
    PtyPeer other;
    other.setHandler(camera());
    ::setenv("QEL_COM1", other.path().c_str(), 1);
    ASSERT_EQ(programmer_.openByIndex(0, 1), kOk);
    EXPECT_EQ(programmer_.portPath(), peer_.path());
    ASSERT_EQ(peer_.commands().size(), 2u);  // only "verbose 0\r" repeated
    EXPECT_EQ(peer_.commands()[1], kVerboseOff);
    ASSERT_EQ(programmer_.openByIndex(0, -1), kOk);  // no identification: reopened
    EXPECT_EQ(programmer_.portPath(), other.path());
    ::setenv("QEL_COM1", peer_.path().c_str(), 1);
    ASSERT_EQ(programmer_.openByIndex(0, 2), kOk);  // identified elsewhere: reopened
    EXPECT_EQ(programmer_.portPath(), peer_.path());
    EXPECT_EQ(programmer_.close(), 1);
    EXPECT_EQ(programmer_.drain(), kOk);  // on a closed port
}

TEST_F(ComTransportOnPty, TwoDebugTelegramsAreSkippedThenOnlyHundredMillisecondsAreWaited) {
    ASSERT_EQ(programmer_.openByIndex(0, -1), kOk);
    peer_.setHandler(camera([](PtyPeer& peer) {
        peer.send(kDebugText);
        peer.send(kDebugText);
        peer.send(cameraTypeReply(0x1300, 4711));
    }));
    ASSERT_EQ(cameraType(1000), kOk);
    EXPECT_EQ(readU16(&reply_[4]), 0x1300);
    EXPECT_EQ(readU32(&reply_[8]), 4711u);
    EXPECT_EQ(reply_[22], 0xEE);  // the checksum byte is not handed over
    EXPECT_EQ(log_.count(kDebugLine), 2u);

    // Debug text and then silence: the time-out for the reply is 100 ms, not the 3 s given.
    peer_.setHandler(camera([](PtyPeer& peer) {
        peer.send(kDebugText);
        peer.send(kDebugText);
    }));
    const auto start = SteadyClock::now();
    EXPECT_EQ(cameraType(3000), kErrPortIo);
    EXPECT_LT(SteadyClock::now() - start, 1500ms);
    EXPECT_EQ(reply_[0], 0xEE);
}

TEST_F(ComTransportOnPty, EndlessDebugTextEndsAfterTwentyOneOrFiftyOneTelegrams) {
    ASSERT_EQ(programmer_.openByIndex(0, -1), kOk);
    peer_.setHandler(camera([](PtyPeer& peer) {
        for (int i = 0; i < 60; ++i) peer.send(kDebugText);
    }));
    EXPECT_EQ(cameraType(200), kErrReplyCode);
    EXPECT_EQ(log_.count(kDebugLine), 21u);
    programmer_.close();

    RecordingLog libraryLog;
    ComTransport library(Variant::Library, libraryLog, clock_);
    EXPECT_EQ(library.openLibrary(1, 115200), kErrReplyCode);
    EXPECT_EQ(libraryLog.count(kDebugLine), 51u);
    EXPECT_TRUE(libraryLog.has("GET_CAMERA_TYPE returned error -2146754548 \n"));
    EXPECT_TRUE(library.isOpen());  // a failed identification keeps the port
}

TEST_F(ComTransportOnPty, AShortBodyFailsTheChecksumWithoutTouchingTheReply) {
    ASSERT_EQ(programmer_.openByIndex(0, -1), kOk);
    // 6 of 19 body bytes: the checksum decides, not the port.
    peer_.setHandler(camera([](PtyPeer& peer) {
        const Bytes reply = cameraTypeReply(0x1300, 1);
        peer.send(Bytes(reply.begin(), reply.begin() + 10));
    }));
    EXPECT_EQ(cameraType(50), kErrChecksum);
    EXPECT_EQ(reply_[0], 0xEE);
    EXPECT_TRUE(log_.has("ReadFile Com size:19 done 6"));
}

TEST_F(ComTransportOnPty, LibraryOpenIdentifiesTheCameraAndLogsIt) {
    RecordingLog log;
    ComTransport library(Variant::Library, log, clock_);
    peer_.setHandler(camera([](PtyPeer& peer) { peer.send(cameraTypeReply(0x1310, 123456)); }));
    ASSERT_EQ(library.openLibrary(1, 500000), kOk);
    EXPECT_TRUE(log.has("CAMERA_TYPE: 1310 SerialNumber 123456 \n"));
    ASSERT_EQ(peer_.commands().size(), 2u);  // GET_CAMERA_TYPE, then "verbose 0\r"
    EXPECT_EQ(peer_.commands()[1], kVerboseOff);
    EXPECT_EQ(ComTransport::portTest(1), kErrLibraryPortOpen);  // held by `library`
    ASSERT_EQ(library.configureAndIdentify(76800), kOk);
    EXPECT_EQ(peer_.commands().size(), 3u);  // no "verbose 0\r" this time
    library.close();
    EXPECT_EQ(ComTransport::portTest(1), kOk);
}

TEST_F(ComTransportOnPty, DrainEndsEvenWhileTheCameraKeepsSending) {
    // Each pause also lets real time pass, so the camera's flood fills the queue again.
    struct PausingClock : platform::VirtualClock {
        void sleepFor(platform::Milliseconds duration) override {
            VirtualClock::sleepFor(duration);
            std::this_thread::sleep_for(10ms);
        }
    } clock;
    ComTransport transport{Variant::Programmer, log_, clock};
    ASSERT_EQ(transport.openByIndex(0, -1), kOk);
    peer_.flood(true);
    std::this_thread::sleep_for(20ms);
    const auto sleptBefore = clock.totalSlept();
    EXPECT_EQ(transport.drain(), kOk);
    peer_.flood(false);
    EXPECT_EQ(clock.totalSlept() - sleptBefore, 3000ms);
    const auto lines = log_.lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
        return line.rfind("Drain stopped after ", 0) == 0;
    }));
}

TEST_F(ComTransportOnPty, DrainTakesWhatWaitsInOneChunkAndAShortBoundMakesOnePass) {
    ASSERT_EQ(programmer_.openByIndex(0, -1), kOk);
    peer_.send(Bytes(1000, 0x55));
    std::this_thread::sleep_for(50ms);
    auto sleptBefore = clock_.totalSlept();
    EXPECT_EQ(programmer_.drain(), kOk);
    EXPECT_TRUE(log_.has("Check ReadFile size:1000"));
    EXPECT_EQ(clock_.totalSlept() - sleptBefore, 100ms);  // one pause, then the queue is empty

    peer_.flood(true);
    std::this_thread::sleep_for(20ms);
    sleptBefore = clock_.totalSlept();
    EXPECT_EQ(programmer_.drain(0ms), kOk);
    peer_.flood(false);
    EXPECT_EQ(clock_.totalSlept() - sleptBefore, 0ms);
}

// CComUpdate's identification and reboot, with its Command and FlushInput answered by a script.

#include "programmer/camera/com_update.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "fake_camera.h"
#include "protocol/commands.h"

namespace camera::test {
namespace {

using protocol::cmd::CLOSE_DEVICE;
using protocol::cmd::GET_CAMERA_TYPE;

class ScriptedComUpdate : public CComUpdate {
public:
    ScriptedComUpdate(EventLog& events, platform::Clock& clock)
        : CComUpdate(false, log_, clock), events_(events) {}

    ErrorCode Command(const uint8_t* command, uint32_t size, uint8_t* reply, uint32_t capacity,
                      uint32_t timeoutMs) override {
        SentCommand sent;
        sent.code = protocol::readU16(command);
        sent.bytes.assign(command, command + size);
        sent.capacity = capacity;
        sent.timeoutMs = timeoutMs;
        sentCommands.push_back(sent);
        events_.push_back(hexCode(sent.code));
        std::vector<uint8_t> payload;
        const uint32_t result = responder ? responder(sent, payload) : 0;
        if (result != ScriptedCamera::kNoReply)
            deliverReply(sent.code, result, payload, reply, capacity);
        return result;
    }
    ErrorCode FlushInput() override {
        events_.push_back("flush");
        return 0;
    }

    Responder responder;
    std::vector<SentCommand> sentCommands;

private:
    protocol::NullLogSink log_;
    EventLog& events_;
};

// A GET_CAMERA_TYPE reply payload (offset 4 on): type, serial number, link word.
std::vector<uint8_t> cameraTypePayload(uint16_t type, uint32_t serial, uint16_t linkWord) {
    std::vector<uint8_t> payload(18, 0);
    protocol::writeU16(&payload[0], type);
    protocol::writeU32(&payload[4], serial);
    protocol::writeU16(&payload[16], linkWord);
    return payload;
}

class ComUpdateTest : public ::testing::Test {
protected:
    ComUpdateTest() : host(events), link(events, host.virtualClock()) {}

    void camera(uint32_t closeResult, uint32_t typeResult, uint16_t type, uint16_t linkWord = 3) {
        link.responder = [=](const SentCommand& s, std::vector<uint8_t>& p) -> uint32_t {
            if (s.code == CLOSE_DEVICE) return closeResult;
            if (s.code == GET_CAMERA_TYPE) {
                p = cameraTypePayload(type, 4711, linkWord);
                return typeResult;
            }
            return 0;
        };
    }

    EventLog events;
    RecordingHost host;
    ScriptedComUpdate link;
};

TEST_F(ComUpdateTest, IdentifiesACameraThatAnswersNoDeviceOpen) {
    camera(protocol::kCamNoDeviceOpen, 0, 0x1300, 2);
    EXPECT_EQ(link.identify(0), 0u);
    EXPECT_EQ(link.interfaceType, 0);
    EXPECT_EQ(link.serialNumber, 4711u);
    EXPECT_EQ(link.port, 1);
    EXPECT_EQ(link.connected, 1);
    EXPECT_EQ(link.bootMode, 0);
    EXPECT_EQ(link.linkWord, 2);
    ASSERT_EQ(link.sentCommands.size(), 2u);
    EXPECT_EQ(link.sentCommands[0].bytes.size(), 13u);
    EXPECT_EQ(link.sentCommands[0].capacity, 17u);
    EXPECT_EQ(link.sentCommands[0].timeoutMs, 500u);
    EXPECT_EQ(link.sentCommands[1].capacity, 23u);
    EXPECT_EQ(link.sentCommands[1].timeoutMs, 1000u);
}

TEST_F(ComUpdateTest, BootModeCamerasGetTheBootSerialNumber) {
    for (uint16_t bootType : {uint16_t(0x0800), uint16_t(0x0820)}) {
        camera(0, 0, bootType);
        EXPECT_EQ(link.identify(2), 0u);
        EXPECT_EQ(link.serialNumber, 0x87654321u);
        EXPECT_EQ(link.bootMode, 1);
        EXPECT_EQ(link.linkWord, -1);
        EXPECT_EQ(link.port, 3);
        EXPECT_EQ(link.connected, 1);
    }
    // Answers CLOSE_DEVICE but not GET_CAMERA_TYPE: only the bootloader runs.
    camera(0, ScriptedCamera::kNoReply, 0x1300);
    EXPECT_EQ(link.identify(0), 0u);
    EXPECT_EQ(link.bootMode, 1);
    EXPECT_EQ(link.serialNumber, 0x87654321u);
}

TEST_F(ComUpdateTest, NoCameraResetsTheState) {
    camera(0, 0, 0x1300);
    ASSERT_EQ(link.identify(0), 0u);
    camera(0x80001234, 0, 0x1300);
    EXPECT_EQ(link.identify(0), protocol::kErrNoCamera);
    EXPECT_EQ(link.serialNumber, 0u);
    EXPECT_EQ(link.port, -1);
    EXPECT_EQ(link.connected, 0);
    EXPECT_EQ(link.linkWord, -1);
    EXPECT_EQ(link.sentCommands.back().code, CLOSE_DEVICE);  // no type question after that
}

TEST_F(ComUpdateTest, RebootWaitsForTheBootAndASecondMoreForLinkWordOne) {
    camera(0, 0, 0x1300, 1);
    ASSERT_EQ(link.identify(0), 0u);
    link.sentCommands.clear();
    EXPECT_EQ(link.Reboot(host), 0u);
    EXPECT_EQ(host.statuses.front(), "Rebooting Camera");
    EXPECT_EQ(host.statuses[1], "Waiting for Camera boot /");  // counter 149
    EXPECT_EQ(link.sentCommands.front().code, protocol::cmd::REBOOT);
    EXPECT_EQ(link.sentCommands.front().timeoutMs, 2000u);
    // 10 flush sleeps, 150 boot cycles, 4 + 1 poll cycles and the extra second.
    EXPECT_EQ(host.virtualClock().totalSlept(), platform::Milliseconds(100 * (10 + 150 + 5 + 10)));
    EXPECT_EQ(std::count(events.begin(), events.end(), "flush"), 160);

    platform::VirtualClock& clock = host.virtualClock();
    const auto before = clock.totalSlept();
    camera(0, 0, 0x1300, 2);
    ASSERT_EQ(link.identify(0), 0u);
    EXPECT_EQ(link.Reboot(host), 0u);
    EXPECT_EQ(clock.totalSlept() - before, platform::Milliseconds(100 * (10 + 150 + 5)));
}

TEST_F(ComUpdateTest, RebootReportsACameraThatNeverComesBack) {
    link.responder = [](const SentCommand&, std::vector<uint8_t>&) {
        return ScriptedCamera::kNoReply;
    };
    link.linkWord = 1;
    EXPECT_EQ(link.Reboot(host), ScriptedCamera::kNoReply);
    EXPECT_EQ(host.virtualClock().totalSlept(), platform::Milliseconds(100 * (10 + 150 + 25)));
}

TEST_F(ComUpdateTest, OpeningAMissingPortFailsWithoutIdentification) {
    EXPECT_EQ(link.Open(-1), protocol::kErrPortIndex);
    EXPECT_TRUE(link.sentCommands.empty());
    EXPECT_EQ(link.baudRate, 57600u);
}

}  // namespace
}  // namespace camera::test

// The camera poll and CComUpdate's identification and reboot, scripted on virtual time.

#include "programmer/camera/com_update.h"

#include <gtest/gtest.h>

#include "fake_camera.h"
#include "protocol/commands.h"

namespace camera::test {
namespace {

using protocol::cmd::CLOSE_DEVICE;
using protocol::cmd::GET_CAMERA_STATUS;
using protocol::cmd::GET_CAMERA_TYPE;

class WaitTest : public ::testing::Test {
protected:
    WaitTest() : cam(events), host(events) {}

    // The camera answers once more than `call` commands were sent.
    void answerFromCall(size_t call, uint32_t failure = ScriptedCamera::kNoReply) {
        cam.responder = [this, call, failure](const SentCommand&, std::vector<uint8_t>& p) {
            p.assign(19, 0);
            return cam.sentCommands.size() > call ? 0u : failure;
        };
    }

    EventLog events;
    ScriptedCamera cam;
    RecordingHost host;
};

TEST_F(WaitTest, PollAlternatesTheOrderSkipsTheStatusInBootModeAndGivesUpAfter21Attempts) {
    cam.bootMode = 1;
    answerFromCall(1);
    EXPECT_EQ(cam.PollCamera(host), 0u);
    // Attempt 1 (even): status fails. Attempt 2 (odd): type answers; boot mode asks no status.
    ASSERT_EQ(cam.sentCommands.size(), 2u);
    EXPECT_EQ(cam.sentCommands[0].code, GET_CAMERA_STATUS);
    EXPECT_EQ(cam.sentCommands[1].code, GET_CAMERA_TYPE);

    cam.sentCommands.clear();
    events.clear();
    const auto before = host.virtualClock.totalSlept();
    answerFromCall(1000, 0x80001234);
    EXPECT_EQ(cam.PollCamera(host), 0x80001234u);
    EXPECT_EQ(host.virtualClock.totalSlept() - before, platform::Milliseconds(2500));
    EXPECT_EQ(cam.sentCommands.size(), 21u);  // the first question of each attempt fails
    EXPECT_EQ(std::count(events.begin(), events.end(), "pump"), 25);
}

protocol::NullLogSink nullLog;

class ComUpdateTest : public ::testing::Test {
protected:
    ComUpdateTest() : host(events), link(events, false, nullLog, host.virtualClock) {}

    // GET_CAMERA_TYPE's payload: type, serial number 4711, link word.
    void camera(uint32_t closeResult, uint32_t typeResult, uint16_t type, uint16_t linkWord = 3) {
        link.responder = [=](const SentCommand& s, std::vector<uint8_t>& p) -> uint32_t {
            if (s.code == CLOSE_DEVICE) return closeResult;
            if (s.code != GET_CAMERA_TYPE) return 0;
            p.assign(18, 0);
            protocol::writeU16(&p[0], type);
            protocol::writeU32(&p[4], 4711);
            protocol::writeU16(&p[16], linkWord);
            return typeResult;
        };
    }

    EventLog events;
    RecordingHost host;
    Scripted<CComUpdate> link;
};

TEST_F(ComUpdateTest, IdentifiesACameraThatAnswersNoDeviceOpenAndBootModeCameras) {
    camera(protocol::kCamNoDeviceOpen, 0, 0x1300, 2);
    EXPECT_EQ(link.identify(0), 0u);
    EXPECT_EQ(link.serialNumber, 4711u);
    EXPECT_EQ(link.port, 1);
    EXPECT_EQ(link.bootMode, 0);
    EXPECT_EQ(link.linkWord, 2);

    for (uint16_t bootType : {uint16_t(0x0800), uint16_t(0x0820)}) {
        camera(0, 0, bootType);
        EXPECT_EQ(link.identify(2), 0u);
        EXPECT_EQ(link.serialNumber, 0x87654321u);
        EXPECT_EQ(link.bootMode, 1);
        EXPECT_EQ(link.linkWord, -1);
    }
    // Answers CLOSE_DEVICE but not GET_CAMERA_TYPE: only the bootloader runs.
    camera(0, ScriptedCamera::kNoReply, 0x1300);
    EXPECT_EQ(link.identify(0), 0u);
    EXPECT_EQ(link.bootMode, 1);
    EXPECT_EQ(link.serialNumber, 0x87654321u);
}

TEST_F(ComUpdateTest, NoCameraResetsTheStateAndAMissingPortIsNotIdentified) {
    camera(0, 0, 0x1300);
    ASSERT_EQ(link.identify(0), 0u);
    camera(0x80001234, 0, 0x1300);
    EXPECT_EQ(link.identify(0), protocol::kErrNoCamera);
    EXPECT_EQ(link.serialNumber, 0u);
    EXPECT_EQ(link.port, -1);
    EXPECT_EQ(link.connected, 0);
    EXPECT_EQ(link.linkWord, -1);
    EXPECT_EQ(link.sentCommands.back().code, CLOSE_DEVICE);  // no type question after that

    // A port that cannot be opened after a found camera: the camera is no longer reached.
    camera(0, 0, 0x1300);
    ASSERT_EQ(link.identify(0), 0u);
    link.sentCommands.clear();
    EXPECT_EQ(link.Open(-1), protocol::kErrPortIndex);
    EXPECT_TRUE(link.sentCommands.empty());
    EXPECT_EQ(link.connected, 0);
    EXPECT_EQ(link.port, -1);
    EXPECT_EQ(link.serialNumber, 0u);
}

TEST_F(ComUpdateTest, RebootWaitsForTheBootASecondMoreForLinkWordOneAndReportsNoAnswer) {
    camera(0, 0, 0x1300, 1);
    ASSERT_EQ(link.identify(0), 0u);
    link.sentCommands.clear();
    EXPECT_EQ(link.Reboot(host), 0u);
    EXPECT_EQ(host.statuses.front(), "Rebooting Camera");
    EXPECT_EQ(host.statuses[1], "Waiting for Camera boot /");  // counter 149
    EXPECT_EQ(link.sentCommands.front().code, protocol::cmd::REBOOT);
    // 10 flush sleeps, 150 boot cycles, 4 + 1 poll cycles and the extra second.
    EXPECT_EQ(host.virtualClock.totalSlept(), platform::Milliseconds(100 * (10 + 150 + 5 + 10)));
    EXPECT_EQ(std::count(events.begin(), events.end(), "flush"), 160);

    const auto before = host.virtualClock.totalSlept();
    camera(0, 0, 0x1300, 2);
    ASSERT_EQ(link.identify(0), 0u);
    EXPECT_EQ(link.Reboot(host), 0u);
    EXPECT_EQ(host.virtualClock.totalSlept() - before, platform::Milliseconds(100 * 165));

    // A camera that never comes back: the whole poll runs, no extra second even for link word 1.
    link.responder = [](const SentCommand&, std::vector<uint8_t>&) {
        return ScriptedCamera::kNoReply;
    };
    link.linkWord = 1;
    const auto start = host.virtualClock.totalSlept();
    EXPECT_EQ(link.Reboot(host), ScriptedCamera::kNoReply);
    EXPECT_EQ(host.virtualClock.totalSlept() - start,
              platform::Milliseconds(100 * (10 + 150 + 25)));
}

}  // namespace
}  // namespace camera::test

// The waits of the camera link on virtual time: spinner texts, the flushes of WaitForCamera and
// the alternating questions of PollCamera.

#include <gtest/gtest.h>

#include <algorithm>

#include "fake_camera.h"
#include "protocol/commands.h"

namespace camera::test {
namespace {

using protocol::cmd::GET_CAMERA_STATUS;
using protocol::cmd::GET_CAMERA_TYPE;

TEST(SpinnerTest, CyclesThroughItsEightCharacters) {
    std::string seen;
    for (int counter = 0; counter < 9; ++counter) seen += spinnerChar(counter);
    EXPECT_EQ(seen, "-/|\\-/|\\-");
}

class WaitTest : public ::testing::Test {
protected:
    WaitTest() : cam(events), host(events) {}

    // The camera answers from the given attempt of the poll on (counted in Command calls).
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

TEST_F(WaitTest, WaitForCameraFlushesEachCycleThenPolls) {
    answerFromCall(0);
    EXPECT_EQ(cam.WaitForCamera(host, 1000), 0u);
    EXPECT_EQ(std::count(events.begin(), events.end(), "flush"), 11);
    // 11 wait cycles, 4 spinner-only cycles and the first poll attempt's cycle.
    EXPECT_EQ(host.virtualClock().totalSlept(), platform::Milliseconds(1600));
    EXPECT_EQ(host.statuses.front(), "Waiting for Camera |");  // counter 10
    EXPECT_EQ(host.statuses.back(), "Waiting for Camera -");    // counter 20
    EXPECT_STREQ(cam.statusText, "");
    // The first attempt (counter 20, even) asks for the status first.
    ASSERT_EQ(cam.sentCommands.size(), 2u);
    EXPECT_EQ(cam.sentCommands[0].code, GET_CAMERA_STATUS);
    EXPECT_EQ(cam.sentCommands[1].code, GET_CAMERA_TYPE);
    EXPECT_EQ(cam.sentCommands[1].capacity, 23u);
}

TEST_F(WaitTest, PollAlternatesTheOrderAndSkipsTheStatusInBootMode) {
    cam.bootMode = 1;
    answerFromCall(1);  // the first status fails, everything after answers
    EXPECT_EQ(cam.PollCamera(host), 0u);
    // Attempt 1 (even): status fails. Attempt 2 (odd): type answers; boot mode asks no status.
    ASSERT_EQ(cam.sentCommands.size(), 2u);
    EXPECT_EQ(cam.sentCommands[0].code, GET_CAMERA_STATUS);
    EXPECT_EQ(cam.sentCommands[1].code, GET_CAMERA_TYPE);
}

TEST_F(WaitTest, PollGivesUpAfter21AttemptsWithTheLastResult) {
    answerFromCall(1000, 0x80001234);
    EXPECT_EQ(cam.PollCamera(host), 0x80001234u);
    EXPECT_EQ(host.virtualClock().totalSlept(), platform::Milliseconds(2500));
    EXPECT_EQ(cam.sentCommands.size(), 21u);  // the first question of each attempt fails
    EXPECT_EQ(std::count(events.begin(), events.end(), "pump"), 25);
}

}  // namespace
}  // namespace camera::test

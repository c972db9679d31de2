// The camera poll and CComUpdate's identification and reboot, against camsim's model on virtual
// time.

#include "programmer/camera/com_update.h"

#include <gtest/gtest.h>

#include "model_link.h"
#include "protocol/commands.h"

namespace camera::test {
namespace {

using namespace protocol::cmd;
using platform::Milliseconds;

protocol::NullLogSink nullLog;

class ComUpdateTest : public ::testing::Test {
protected:
    ComUpdateTest() : host(events), link(events, false, nullLog, host.virtualClock) {}

    // A new camera: serial number 4711, `type`, `linkWord`, and what `fault` changes.
    sim::SimOptions& camera(uint16_t type = 0x1300, uint16_t linkWord = 3) {
        sim::SimOptions& options = link.model.options;
        options = sim::SimOptions{};
        options.serial = 4711;
        options.cameraType = type;
        options.linkWord = linkWord;
        link.restartModel();
        link.sentCommands.clear();
        return options;
    }

    EventLog events;
    RecordingHost host;
    OnModel<CComUpdate> link;
};

TEST_F(ComUpdateTest, PollAlternatesTheOrderSkipsTheStatusInBootModeAndGivesUpAfter21Attempts) {
    camera().faults.noReply[GET_CAMERA_STATUS] = 1;
    link.bootMode = 1;
    EXPECT_EQ(link.PollCamera(host), 0u);
    // Attempt 1 (even): status fails. Attempt 2 (odd): type answers; boot mode asks no status.
    ASSERT_EQ(link.sentCommands.size(), 2u);
    EXPECT_EQ(link.sentCommands[0].code, GET_CAMERA_STATUS);
    EXPECT_EQ(link.sentCommands[1].code, GET_CAMERA_TYPE);

    auto& faults = camera().faults;
    faults.errorReply[GET_CAMERA_STATUS] = faults.errorReply[GET_CAMERA_TYPE] = 0x80001234;
    events.clear();
    const auto before = host.virtualClock.totalSlept();
    EXPECT_EQ(link.PollCamera(host), 0x80001234u);
    EXPECT_EQ(host.virtualClock.totalSlept() - before, Milliseconds(2500));
    EXPECT_EQ(link.sentCommands.size(), 21u);  // the first question of each attempt fails
    EXPECT_EQ(std::count(events.begin(), events.end(), "pump"), 25);
}

TEST_F(ComUpdateTest, IdentifiesRunningAndBootModeCamerasAndForgetsACameraNoLongerFound) {
    const uint32_t kBoot = 0x87654321;  // the serial number a bootloader reports
    const struct {
        const char* name;
        std::function<void(sim::SimOptions&)> setUp;
        ErrorCode result;
        uint32_t serial;
        int port, bootMode, linkWord;
    } cases[] = {
        // CLOSE_DEVICE answers "no device open": a camera listens all the same.
        {"running", [](sim::SimOptions&) {}, 0, 4711, 1, 0, 2},
        {"boot type 0x0800", [](sim::SimOptions& o) { o.bootMode = true; }, 0, kBoot, 1, 1, -1},
        {"boot type 0x0820", [](sim::SimOptions& o) { o.cameraType = 0x0820; }, 0, kBoot, 1, 1, -1},
        // Answers CLOSE_DEVICE but not GET_CAMERA_TYPE: only the bootloader runs.
        {"no type", [](sim::SimOptions& o) { o.faults.noReply[GET_CAMERA_TYPE] = -1; }, 0, kBoot,
         1, 1, -1},
        {"no camera",
         [](sim::SimOptions& o) { o.faults.errorReply[CLOSE_DEVICE] = 0x80001234; },
         protocol::kErrNoCamera, 0, -1, 0, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        camera(0x1300, 2);
        ASSERT_EQ(link.identify(0), 0u);  // a camera found before
        c.setUp(camera(0x1300, 2));
        EXPECT_EQ(link.identify(0), c.result);
        EXPECT_EQ(link.serialNumber, c.serial);
        EXPECT_EQ(link.port, c.port);
        EXPECT_EQ(link.bootMode, c.bootMode);
        EXPECT_EQ(link.linkWord, c.linkWord);
        EXPECT_EQ(link.connected, c.port == 1 ? 1 : 0);
        // No type question after a failed CLOSE_DEVICE.
        EXPECT_EQ(link.sentCommands.back().code, c.result == 0 ? GET_CAMERA_TYPE : CLOSE_DEVICE);
    }
    // A port that cannot be opened after a found camera: the camera is no longer reached.
    camera();
    ASSERT_EQ(link.identify(0), 0u);
    link.sentCommands.clear();
    EXPECT_EQ(link.Open(-1), protocol::kErrPortIndex);
    EXPECT_TRUE(link.sentCommands.empty());
    EXPECT_EQ(link.connected, 0);
    EXPECT_EQ(link.port, -1);
    EXPECT_EQ(link.serialNumber, 0u);
}

TEST_F(ComUpdateTest, RebootWaitsForTheBootASecondMoreForLinkWordOneAndReportsNoAnswer) {
    camera(0x1300, 1);
    ASSERT_EQ(link.identify(0), 0u);
    link.sentCommands.clear();
    EXPECT_EQ(link.Reboot(host), 0u);
    EXPECT_EQ(host.statuses.front(), "Rebooting Camera");
    EXPECT_EQ(host.statuses[1], "Waiting for Camera boot /");  // counter 149
    EXPECT_EQ(link.sentCommands.front().code, REBOOT);
    // 10 flush sleeps, 150 boot cycles, 4 + 1 poll cycles and the extra second.
    EXPECT_EQ(host.virtualClock.totalSlept(), Milliseconds(100 * (10 + 150 + 5 + 10)));
    EXPECT_EQ(std::count(events.begin(), events.end(), "flush"), 160);

    const auto before = host.virtualClock.totalSlept();
    camera(0x1300, 2);
    ASSERT_EQ(link.identify(0), 0u);
    EXPECT_EQ(link.Reboot(host), 0u);
    EXPECT_EQ(host.virtualClock.totalSlept() - before, Milliseconds(100 * 165));

    // A camera that never comes back: the whole poll runs, no extra second even for link word 1.
    link.instead = [](const SentCommand&, uint8_t*) -> std::optional<ErrorCode> {
        return ModelLink::kNoReply;
    };
    link.linkWord = 1;
    const auto start = host.virtualClock.totalSlept();
    EXPECT_EQ(link.Reboot(host), ModelLink::kNoReply);
    EXPECT_EQ(host.virtualClock.totalSlept() - start, Milliseconds(100 * (10 + 150 + 25)));
}

}  // namespace
}  // namespace camera::test

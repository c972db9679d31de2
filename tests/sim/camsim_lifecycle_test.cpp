// The life of the camsim process and its port: reboot, reopening, state folder.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "port_client.h"
#include "tools/temp_folder.h"

using namespace simtest;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {
const Bytes kGetCameraType = telegram(0x0110);
}

TEST(CamsimReboot, SilentForTheBootTimeThenAnswersWithDevicesClosedAndNoStaleReplies) {
    Camera cam({"--boot-time", "300"});
    ASSERT_EQ(cam.code(twoWords(0x7103)), 0x7183);
    ASSERT_EQ(cam.code(telegram(0x1704)), 0x1784);
    EXPECT_EQ(cam.last.size(), 5u);
    const auto rebooted = SteadyClock::now();
    EXPECT_EQ(cam.code(kGetCameraType, 100ms), 0);  // not heard while booting
    while (cam.last.empty() && SteadyClock::now() - rebooted < 2s) cam.code(kGetCameraType, 50ms);
    ASSERT_EQ(u16At(cam.last, 0), 0x0190);
    EXPECT_GE(SteadyClock::now() - rebooted, 250ms);
    EXPECT_EQ(cam.code(twoWords(0x0003)), 0x00C3);
    EXPECT_EQ(u32At(cam.last, 4), 0x80001053u);

    // A client that goes without reading its reply leaves nothing for the next one.
    {
        PortClient abandoned(cam.sim.portPath());
        abandoned.send(telegram(0x0910));
        std::this_thread::sleep_for(50ms);
    }
    PortClient next(cam.sim.portPath());
    EXPECT_EQ(u16At(next.transact(kGetCameraType).value_or(Bytes{}), 0), 0x0190);

    Camera mute({"--boot-time", "50", "--fault", "no-answer-after-reboot"});
    ASSERT_EQ(mute.code(telegram(0x1704)), 0x1784);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(mute.code(kGetCameraType, 200ms), 0);
}

TEST(CamsimState, ContentsAreSavedBeforeARebootSurviveARestartAndBadFilesAreRefused) {
    tools::TempFolder dir;
    {
        Camera cam({"--state", dir.path(), "--erase-time", "10", "--boot-time", "50"});
        ASSERT_EQ(cam.code(twoWords(0x7003)), 0x7083);
        ASSERT_EQ(cam.code(writeBlock(0x80000000, {0x02})), 0x1183);
        ASSERT_EQ(cam.code(telegram(0x1704)), 0x1784);
        EXPECT_EQ(std::ifstream(dir.path("main_up.bin"), std::ios::binary).get(), 0x02);
        std::this_thread::sleep_for(100ms);
        ASSERT_EQ(cam.code(twoWords(0x7103)), 0x7183);
        ASSERT_EQ(cam.code(twoWords(0x1003)), 0x1083);
        // A version block in the Main FPGA's first bytes: variant 9, V02.05.
        ASSERT_EQ(cam.code(writeBlock(0, {0x05, 0x02, 0x09, 0x00})), 0x1183);
        EXPECT_EQ(cam.sim.closeStdinAndWait(2s), 0);
    }
    EXPECT_EQ(fs::file_size(dir.path("main_fpga.bin")), 4u << 20);
    {
        Camera cam({"--state", dir.path()});
        ASSERT_EQ(cam.code(telegram(0x0810)), 0x0890);
        ASSERT_GE(u16At(cam.last, 4), 1);
        EXPECT_EQ(textAt(cam.last, 6), "Main FPGA");
        EXPECT_EQ(u16At(cam.last, 6 + 18), 9);
    }
    // A state file of the wrong size stops camsim and stays as it was.
    std::ofstream(dir.path("eeprom.bin"), std::ios::binary) << "short";
    tools::CamsimProcess refused;
    EXPECT_FALSE(refused.start(KF_BINARY_DIR "/bin/camsim", {"--state", dir.path()}));
    EXPECT_EQ(refused.waitForExit(2s), 1);
    EXPECT_EQ(fs::file_size(dir.path("eeprom.bin")), 5u);
}

// kelvoflash.exe under Wine against camsim over Camera Link: tessiport.dll and clsersim.dll beside
// the program reach camsim's socket (CLSERSIM_PORT0, set by with_camsim.sh). camsim reports the
// Main uP and both FPGAs at 003 V01.00.

#include <gtest/gtest.h>

#include "programmer/app/control_ids.h"
#include "programmer/files/file_io.h"
#include "tests/win32/dialog_driver.h"
#include "tools/sample_update.h"

namespace win32test {
namespace {

constexpr const char* kLoadOrSelect = "Load Update File, select other port or close programmer";
constexpr COLORREF kDoneGreen = RGB(0, 255, 0);

// No flow runs: Quit is enabled in every situation but while one does.
bool idle(HWND main) { return enabled(main, app::kIdQuit); }

// The update file of both FPGAs at 003 V01.01.
std::string writeFpgaUpdate(const std::string& folder) {
    const tools::SampleSettings sample{
        1, 1, 3, {false, true, false, false, true}, 320 * 1024, 160 * 1024, 96 * 1024};
    std::vector<uint8_t> bytes;
    EXPECT_EQ(tools::buildSampleUpdateFile(sample, bytes), 0u);
    const std::string path = folder + "fpga_update.qup";
    EXPECT_EQ(files::writeFileSafely(path, bytes), 0);
    return path;
}

// Device packets need a camera that reports its devices; the right click switches to file
// packets and back. Reboot restarts the camera and reconnects.
TEST(KelvoflashCamsim, DirectConnectionSwitchesPacketModesAndReboots) {
    Program program(kelvoflashPath(), "-P1 -T2 -S -Nclsersim.dll", scratchFolder());
    HWND main = waitForDialog(program.id(), app::kIdStatusLine);
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(waitUntil([&] { return idle(main) && enabled(main, app::kIdPacket); }))
        << text(main, app::kIdStatusLine);
    EXPECT_EQ(text(main, app::kIdStatusLine), std::string("Camera SNr. 1234 found   ") + kLoadOrSelect);
    EXPECT_EQ(text(main, app::kIdPacket), "DevicePacket");
    EXPECT_EQ(text(main, app::currentFwId(1)), "003 V01.00");

    rightClick(main, app::kIdPacket);
    ASSERT_TRUE(waitUntil([&] { return text(main, app::kIdPacket) == "FilePacket"; }));
    for (int row = 0; row < app::kRowCount; ++row)
        EXPECT_TRUE(enabled(main, app::checkBoxId(row))) << "file packets take every device";
    rightClick(main, app::kIdPacket);
    ASSERT_TRUE(waitUntil([&] { return text(main, app::kIdPacket) == "DevicePacket"; }));
    // Only the devices the camera reported (camsim has all five).
    keepScreenshot(main, "main_device_packet");

    click(main, app::kIdReboot);
    ASSERT_TRUE(waitUntil([&] { return !idle(main); }, 5000)) << "the reboot runs";
    ASSERT_TRUE(waitUntil([&] { return idle(main); }, 60000));
    EXPECT_EQ(text(main, app::kIdStatusLine), kLoadOrSelect);
    EXPECT_EQ(text(main, app::currentFwId(1)), "003 V01.00") << "read again after the reboot";

    click(main, app::kIdQuit);
    EXPECT_EQ(program.waitForExit(kWaitMs), 0u);
}

TEST(KelvoflashCamsim, ConnectsOverCameraLinkLoadsAFileAndProgramsTwoDevices) {
    const std::string folder = scratchFolder();
    const std::string updateFile = writeFpgaUpdate(folder);
    Program program(kelvoflashPath(), "-T0 -Nclsersim.dll", folder);

    HWND connection = waitForDialog(program.id(), app::kIdConnectionStatus);
    ASSERT_NE(connection, nullptr);
    ASSERT_TRUE(waitUntil([&] { return enabled(connection, app::kIdRadioCameraLink); }));
    click(connection, app::kIdRadioCameraLink);
    ASSERT_TRUE(waitUntil([&] { return checked(connection, app::kIdRadioCameraLink); }));
    EXPECT_EQ(listItems(connection, app::kIdPortList).front(), "CamLinkPort_0");
    EXPECT_EQ(listSelection(connection, app::kIdPortList), 0);
    click(connection, app::kIdConnect);
    ASSERT_TRUE(waitUntil([&] { return enabled(connection, app::kIdOk); }))
        << text(connection, app::kIdConnectionStatus);
    EXPECT_EQ(text(connection, app::kIdConnectionStatus), "Camera SNr. 1234 found");
    keepScreenshot(connection, "connection_dialog_camlink");
    click(connection, app::kIdOk);

    // The camera information fills the Current FW column.
    HWND main = waitForDialog(program.id(), app::kIdStatusLine);
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(waitUntil([&] { return idle(main) && enabled(main, app::kIdLoadFile); }))
        << text(main, app::kIdStatusLine);
    EXPECT_EQ(text(main, app::kIdStatusLine), kLoadOrSelect);
    for (const int row : {0, 1, 4})
        EXPECT_EQ(text(main, app::currentFwId(row)), "003 V01.00") << row;
    EXPECT_EQ(text(main, app::currentFwId(2)), "--- V--.--");
    EXPECT_FALSE(enabled(main, app::kIdProgram));

    // Load File: the file dialog answered with the update file.
    click(main, app::kIdLoadFile);
    ASSERT_TRUE(answerFileDialog(program.id(), updateFile));
    ASSERT_TRUE(waitUntil([&] { return idle(main) && enabled(main, app::kIdProgram); }))
        << text(main, app::kIdStatusLine);
    for (const int row : {1, 4}) {
        EXPECT_EQ(text(main, app::loadedFwId(row)), "003 V01.01") << row;
        EXPECT_TRUE(enabled(main, app::checkBoxId(row))) << row;
        EXPECT_TRUE(checked(main, app::checkBoxId(row))) << row;
    }
    EXPECT_EQ(text(main, app::loadedFwId(0)), "--- V--.--");
    EXPECT_FALSE(enabled(main, app::checkBoxId(0)));
    keepScreenshot(main, "main_loaded");

    // Program: both rows turn green, and the camera reports the new versions after its reboot.
    click(main, app::kIdProgram);
    ASSERT_TRUE(waitUntil([&] { return !idle(main); }, 5000)) << "the run starts";
    ASSERT_TRUE(waitUntil([&] { return idle(main); }, 180000)) << text(main, app::kIdStatusLine);
    EXPECT_EQ(text(main, app::kIdStatusLine), kLoadOrSelect);
    for (const int row : {1, 4}) {
        EXPECT_EQ(colourAt(main, app::progressId(row)), kDoneGreen) << row;
        EXPECT_EQ(text(main, app::currentFwId(row)), "003 V01.01") << row;
    }
    EXPECT_EQ(colourAt(main, app::progressId(0)), RGB(160, 160, 160)) << "not programmed";
    keepScreenshot(main, "main_programmed");

    click(main, app::kIdQuit);
    EXPECT_EQ(program.waitForExit(kWaitMs), 0u);
}

}  // namespace
}  // namespace win32test

// kelvoflash.exe under Wine, driven through its dialogs by control id, as the Win32 front end
// renders them: first without a camera, then against camsim over Camera Link (tessiport.dll and
// clsersim.dll beside the program reach camsim's socket, CLSERSIM_PORT0 set by with_camsim.sh;
// camsim reports the Main uP and both FPGAs at 003 V01.00). The flows themselves are tested in
// tests/app.

#include <gtest/gtest.h>

#include <algorithm>

#include "programmer/app/control_ids.h"
#include "programmer/files/file_io.h"
#include "tests/win32/dialog_driver.h"
#include "tools/sample_update.h"

namespace win32test {
namespace {

constexpr const char* kNoDevice = "No Device selected! Try again or close programmer\n";
using Texts = std::vector<std::string>;
const Texts kDeviceNames = {"Main µP", "Main FPGA", "EEPROM", "PLL", "Head FPGA"};
constexpr const char* kNone = "--- V--.--";
const std::vector<int> kMainButtons = {app::kIdSelectPort, app::kIdLoadFile, app::kIdProgram,
                                app::kIdPacket, app::kIdReboot, app::kIdQuit};
constexpr COLORREF kIdleGrey = RGB(160, 160, 160);
constexpr COLORREF kDoneGreen = RGB(0, 255, 0);
constexpr const char* kLoadOrSelect = "Load Update File, select other port or close programmer";
const std::vector<int> kCheckBoxes = {app::checkBoxId(0), app::checkBoxId(1), app::checkBoxId(2),
                                      app::checkBoxId(3), app::checkBoxId(4)};

// The controls among `ids` that are enabled (or checked), in their order.
std::vector<int> among(HWND main, const std::vector<int>& ids, bool (*state)(HWND, int) = enabled) {
    std::vector<int> on;
    for (const int id : ids)
        if (state(main, id)) on.push_back(id);
    return on;
}

// The texts of a column of the main dialog's rows.
Texts column(HWND main, int (*id)(int)) {
    Texts texts;
    for (int row = 0; row < app::kRowCount; ++row) texts.push_back(text(main, id(row)));
    return texts;
}

// No flow runs: Quit is enabled in every situation but while one does.
bool idle(HWND main) { return enabled(main, app::kIdQuit); }

// The program icon carries an image for each size Windows asks for between 100 and 200 %.
TEST(KelvoflashDialogs, TheIconHoldsAnImageForEveryDisplayScale) {
    HMODULE program = LoadLibraryExW(wide(kelvoflashPath()).c_str(), nullptr,
                                     LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(program, nullptr);
    constexpr int kGroupIcon = 14;  // RT_GROUP_ICON
    HRSRC found = FindResourceW(program, MAKEINTRESOURCEW(101), MAKEINTRESOURCEW(kGroupIcon));
    ASSERT_NE(found, nullptr);
    const auto* group = static_cast<const uint8_t*>(LockResource(LoadResource(program, found)));
    // GRPICONDIR: reserved, type, count; then 14-byte entries that start with width, height.
    std::vector<int> widths;
    for (int i = 0; i < group[4]; ++i)
        widths.push_back(group[6 + 14 * i] == 0 ? 256 : group[6 + 14 * i]);
    std::sort(widths.begin(), widths.end());
    EXPECT_EQ(widths, (std::vector<int>{16, 20, 24, 32, 40, 48, 64, 256}));
    FreeLibrary(program);
}

TEST(KelvoflashDialogs, HelpShowsTheUsageInItsOwnBoxAndEnds) {
    Program program(kelvoflashPath(), "-H", scratchFolder());
    ASSERT_TRUE(program.started());
    HWND box = waitForBox(program.id(), "usage: ");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(textOf(box), "qel.programmer Information");
    EXPECT_NE(boxText(box).find("\n -Px\t\t: Packetmode x=[0...2]"), std::string::npos);
    keepScreenshot(box, "usage_box");
    EXPECT_EQ(waitForDialog(program.id(), app::kIdStatusLine, "", 200), nullptr)
        << "no main dialog beside the usage";
    click(box, IDOK);
    EXPECT_EQ(program.waitForExit(kWaitMs), 0u);
}

TEST(KelvoflashDialogs, FilePacketModeStartsWithoutConnectionAndRightClickSwitchesMode) {
    Program program(kelvoflashPath(), "-P2", scratchFolder());
    HWND main = waitForDialog(program.id(), app::kIdStatusLine);
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(waitUntil([&] { return text(main, app::kIdPacket) == "FilePacket"; }));
    EXPECT_EQ(textOf(main), "kelvoflash v1.11 ");
    EXPECT_EQ(text(main, app::kIdStatusLine),
              "Select Devices and create Packet from Device Files, or close programmer");
    EXPECT_EQ(among(main, kMainButtons),
              (std::vector<int>{app::kIdSelectPort, app::kIdPacket, app::kIdQuit}));
    EXPECT_EQ(among(main, kCheckBoxes), kCheckBoxes);
    EXPECT_EQ(column(main, app::checkBoxId), kDeviceNames);
    EXPECT_EQ(column(main, app::currentFwId), Texts(app::kRowCount, kNone));
    EXPECT_EQ(column(main, app::loadedFwId), Texts(app::kRowCount, kNone));
    for (int row = 0; row < app::kRowCount; ++row)
        EXPECT_EQ(colourAt(main, app::progressId(row)), kIdleGrey) << "row " << row;
    keepScreenshot(main, "main_file_packet");

    // Without a camera there are no device packets: the switch a real right click posts keeps
    // file packets, and nothing else changes.
    const std::vector<int> checkedBefore = among(main, kCheckBoxes, checked);
    const std::string statusBefore = text(main, app::kIdStatusLine);
    ASSERT_TRUE(rightClick(main, app::kIdPacket));
    Sleep(500);
    EXPECT_EQ(text(main, app::kIdPacket), "FilePacket");
    EXPECT_EQ(among(main, kCheckBoxes), kCheckBoxes);
    EXPECT_EQ(among(main, kCheckBoxes, checked), checkedBefore);
    EXPECT_EQ(text(main, app::kIdStatusLine), statusBefore);

    // A real left click on a check box right after it arrives: the mouse reaches the dialog.
    ASSERT_FALSE(checked(main, app::checkBoxId(3)));
    ASSERT_TRUE(mouseClick(main, app::checkBoxId(3), false));
    EXPECT_TRUE(waitUntil([&] { return checked(main, app::checkBoxId(3)); }));

    click(main, app::kIdQuit);
    EXPECT_EQ(program.waitForExit(kWaitMs), 0u);
}

TEST(KelvoflashDialogs, ConnectionDialogOpensAtOnceAndItsCancelAsksForADevice) {
    Program program(kelvoflashPath(), "", scratchFolder());
    HWND connection = waitForDialog(program.id(), app::kIdConnectionStatus);
    ASSERT_NE(connection, nullptr);
    ASSERT_TRUE(waitUntil([&] {
        return text(connection, app::kIdConnectionStatus) ==
               "Select Interface Type\nSelect Port\nConnect\n";
    }));
    EXPECT_EQ(textOf(connection), "");
    std::vector<std::string> comPorts;
    for (int n = 1; n <= 8; ++n) comPorts.push_back("ComPort_" + std::to_string(n));
    EXPECT_EQ(listItems(connection, app::kIdPortList), comPorts);
    EXPECT_EQ(listSelection(connection, app::kIdPortList), 0);
    EXPECT_FALSE(enabled(connection, app::kIdOk));
    EXPECT_FALSE(checked(connection, app::kIdRadioComPort) ||
                 checked(connection, app::kIdRadioCameraLink));
    const bool haveLibrary =
        GetFileAttributesA((programFolder() + "tessiport.dll").c_str()) != INVALID_FILE_ATTRIBUTES;
    EXPECT_EQ(enabled(connection, app::kIdRadioCameraLink), haveLibrary);

    click(connection, app::kIdRadioComPort);
    ASSERT_TRUE(waitUntil(
        [&] { return text(connection, app::kIdConnectionStatus) == "Select Port\nConnect"; }));
    EXPECT_TRUE(checked(connection, app::kIdRadioComPort));
    selectListEntry(connection, app::kIdPortList, 5);
    keepScreenshot(connection, "connection_dialog");

    // The about box from the system menu.
    systemCommand(connection, app::kIdAboutBox);
    HWND about = waitForDialog(program.id(), IDOK, "Info über morvat");
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(text(about, 1301), "morvat Version 1.06");
    keepScreenshot(about, "about_box");
    click(about, IDOK);
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(about); }));

    click(connection, app::kIdCancel);
    HWND main = waitForDialog(program.id(), app::kIdStatusLine);
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(waitUntil([&] { return text(main, app::kIdStatusLine) == kNoDevice; }));
    EXPECT_FALSE(IsWindow(connection));
    EXPECT_EQ(among(main, kMainButtons), (std::vector<int>{app::kIdSelectPort, app::kIdQuit}));
    keepScreenshot(main, "main_no_device");

    // Closing the window ends the program like Quit.
    close(main);
    EXPECT_EQ(program.waitForExit(kWaitMs), 0u);
}

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

    ASSERT_TRUE(rightClick(main, app::kIdPacket));
    ASSERT_TRUE(waitUntil([&] { return text(main, app::kIdPacket) == "FilePacket"; }));
    EXPECT_EQ(among(main, kCheckBoxes), kCheckBoxes) << "file packets take every device";
    ASSERT_TRUE(rightClick(main, app::kIdPacket));
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
    const char* const v100 = "003 V01.00";
    EXPECT_EQ(column(main, app::currentFwId), (Texts{v100, v100, kNone, kNone, v100}));
    EXPECT_FALSE(enabled(main, app::kIdProgram));

    // Load File: the file dialog answered with the update file.
    click(main, app::kIdLoadFile);
    ASSERT_TRUE(answerFileDialog(program.id(), updateFile));
    ASSERT_TRUE(waitUntil([&] { return idle(main) && enabled(main, app::kIdProgram); }))
        << text(main, app::kIdStatusLine);
    const char* const v101 = "003 V01.01";
    const std::vector<int> fpgas = {app::checkBoxId(1), app::checkBoxId(4)};
    EXPECT_EQ(column(main, app::loadedFwId), (Texts{kNone, v101, kNone, kNone, v101}));
    EXPECT_EQ(among(main, kCheckBoxes), fpgas);
    EXPECT_EQ(among(main, kCheckBoxes, checked), fpgas);
    keepScreenshot(main, "main_loaded");

    // Program: both rows turn green, and the camera reports the new versions after its reboot.
    click(main, app::kIdProgram);
    ASSERT_TRUE(waitUntil([&] { return !idle(main); }, 5000)) << "the run starts";
    ASSERT_TRUE(waitUntil([&] { return idle(main); }, 180000)) << text(main, app::kIdStatusLine);
    EXPECT_EQ(text(main, app::kIdStatusLine), kLoadOrSelect);
    EXPECT_EQ(column(main, app::currentFwId), (Texts{v100, v101, kNone, kNone, v101}));
    for (const int row : {1, 4})
        EXPECT_EQ(colourAt(main, app::progressId(row)), kDoneGreen) << row;
    EXPECT_EQ(colourAt(main, app::progressId(0)), kIdleGrey) << "not programmed";
    keepScreenshot(main, "main_programmed");

    click(main, app::kIdQuit);
    EXPECT_EQ(program.waitForExit(kWaitMs), 0u);
}

}  // namespace
}  // namespace win32test

// kelvoflash.exe under Wine, driven through its dialogs by control id: the flows that need no
// camera. The runs against camsim are in kelvoflash_camsim_test.cpp.

#include <gtest/gtest.h>

#include "programmer/app/control_ids.h"
#include "tests/win32/dialog_driver.h"

namespace win32test {
namespace {

constexpr const char* kNoDevice = "No Device selected! Try again or close programmer\n";
constexpr const char* kDeviceNames[app::kRowCount] = {"Main µP", "Main FPGA", "EEPROM", "PLL",
                                                      "Head FPGA"};
constexpr int kMainButtons[] = {app::kIdSelectPort, app::kIdLoadFile, app::kIdProgram,
                                app::kIdPacket, app::kIdReboot, app::kIdQuit};
constexpr COLORREF kIdleGrey = RGB(160, 160, 160);

// The buttons of the main dialog that are enabled, in the order above.
std::vector<int> enabledButtons(HWND main) {
    std::vector<int> ids;
    for (const int id : kMainButtons)
        if (enabled(main, id)) ids.push_back(id);
    return ids;
}

std::vector<bool> enabledCheckBoxes(HWND main) {
    std::vector<bool> on;
    for (int row = 0; row < app::kRowCount; ++row) on.push_back(enabled(main, app::checkBoxId(row)));
    return on;
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
    EXPECT_EQ(enabledButtons(main),
              (std::vector<int>{app::kIdSelectPort, app::kIdPacket, app::kIdQuit}));
    EXPECT_EQ(enabledCheckBoxes(main), std::vector<bool>(app::kRowCount, true));
    for (int row = 0; row < app::kRowCount; ++row) {
        EXPECT_EQ(text(main, app::checkBoxId(row)), kDeviceNames[row]);
        EXPECT_EQ(text(main, app::currentFwId(row)), "--- V--.--");
        EXPECT_EQ(text(main, app::loadedFwId(row)), "--- V--.--");
        EXPECT_EQ(colourAt(main, app::progressId(row)), kIdleGrey) << "row " << row;
    }
    keepScreenshot(main, "main_file_packet");

    // Without a camera there are no device packets: the switch the right click posts keeps
    // file packets.
    rightClick(main, app::kIdPacket);
    Sleep(500);
    EXPECT_EQ(text(main, app::kIdPacket), "FilePacket");
    EXPECT_EQ(enabledCheckBoxes(main), std::vector<bool>(app::kRowCount, true));

    // A check box follows the click.
    click(main, app::checkBoxId(3));
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
    EXPECT_EQ(enabledButtons(main), (std::vector<int>{app::kIdSelectPort, app::kIdQuit}));
    keepScreenshot(main, "main_no_device");

    // Closing the window ends the program like Quit.
    close(main);
    EXPECT_EQ(program.waitForExit(kWaitMs), 0u);
}

}  // namespace
}  // namespace win32test

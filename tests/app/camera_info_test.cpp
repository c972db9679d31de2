#include <gtest/gtest.h>

#include "programmer/app/contact.h"
#include "programmer/app/hardware_compatibility.h"
#include "programmer/app/prog_dlg.h"
#include "scripted_camera.h"
#include "scripted_host.h"

namespace {

using namespace app;
namespace cmd = protocol::cmd;

TEST(HardwareCompatibility, TablesByCameraTypeAndContactLine) {
    struct Case {
        const char* board;
        uint16_t first, second, cameraType;
        bool compatible;
    };
    const Case cases[] = {
        {"KM4MAIN", 27, 2, 0x0100, true},          {"KM4MAIN", 27, 1, 0x1200, false},
        {"KM4MAIN", 28, 1, 0x1200, true},          {"KM4MAIN", 28, 2, 0x1200, false},
        {"KM4MAIN", 0xFFFF, 0xFFFF, 0x1200, true}, {"KM4MV13", 500, 500, 0x1200, true},
        {"KM4MV13", 500, 0, 0x0100, false},        {"KM4MV13", 12, 1, 0x0100, true}};
    for (const Case& c : cases)
        EXPECT_EQ(IsHardwareCompatible(*HardwareEntryOf(c.board), c.first, c.second, c.cameraType),
                  c.compatible)
            << c.board << " " << c.first << "/" << c.second;
    EXPECT_EQ(HardwareEntryOf("KM4AD14 2"), 6);
    EXPECT_FALSE(HardwareEntryOf("KM4GIGE").has_value() || HardwareEntryOf("KM4MAIN2").has_value());

    EXPECT_EQ(WithContactLine("x\nPlease contact QEL AG"),
              std::string("x\nPlease contact QEL AG\n") + kContactLine);
    EXPECT_EQ(WithContactLine("Connection lost\n"), "Connection lost\n");
}

class CameraInfoTest : public ::testing::Test {
protected:
    apptest::ScriptedHost host;
    apptest::ScriptedFactory factory;
    ProgDlg dialog{host, factory};
    apptest::CameraScript& script = factory.com;

    bool read(int interfaceType = 0) {
        dialog.options.interfaceType = interfaceType;
        auto& source = interfaceType == 2 ? factory.camLink : factory.com;
        dialog.camera = interfaceType == 2 ? factory.makeCamLink(false) : factory.makeCom(false);
        dialog.camera->Open(0);
        source.commands.clear();
        host.boxes.clear();
        return dialog.ReadCameraInfo();
    }
    static std::vector<std::string> box(const std::string& text, bool contact = true) {
        return {contact ? text + kContactLine : text};
    }
};

TEST_F(CameraInfoTest, FillsTheRowsFromTheFirmwareRecordsOrOnlyMainUpInBootMode) {
    EXPECT_TRUE(read());
    EXPECT_EQ(dialog.deviceAvailable, (std::array<bool, 5>{true, true, true, false, false}));
    EXPECT_EQ(dialog.cameraVariant[1], 4);
    EXPECT_EQ(dialog.cameraVersion[1], 0x0301);
    EXPECT_EQ(dialog.cameraVersion[3], -1);
    EXPECT_EQ(dialog.cameraVariant[3], 0xFFFF);
    EXPECT_EQ(dialog.model.caption(currentFwId(1)), "004 V03.01");
    EXPECT_EQ(dialog.model.caption(kIdStatusLine), "");
    EXPECT_TRUE(host.boxes.empty());

    script.bootMode = true;
    EXPECT_FALSE(read());
    EXPECT_EQ(dialog.deviceAvailable, (std::array<bool, 5>{true, false, false, false, false}));
    EXPECT_TRUE(script.commands.empty());
}

TEST_F(CameraInfoTest, UnreadableCameraTypeOrHardwareIsReportedWithTheContactLine) {
    script.failNext[cmd::GET_CAMERA_TYPE] = 5;
    dialog.camera = factory.makeCom(false);
    EXPECT_FALSE(dialog.ReadCameraInfo());
    EXPECT_EQ(host.texts(), box("Error reading camera type info!\nPlease contact QEL AG!\n"));

    // Hardware records are asked twelve times before giving up.
    script.failNext.clear();
    script.failNext[cmd::GET_HARDWARE_VERSIONS] = 11;
    EXPECT_TRUE(read());
    EXPECT_EQ(script.count(cmd::GET_HARDWARE_VERSIONS), 12);
    script.failNext[cmd::GET_HARDWARE_VERSIONS] = 12;
    const auto slept = host.virtualClock.totalSlept();
    EXPECT_FALSE(read());
    EXPECT_EQ(script.count(cmd::GET_HARDWARE_VERSIONS), 12);
    EXPECT_EQ(host.virtualClock.totalSlept() - slept, platform::Milliseconds(1200));
    EXPECT_EQ(host.texts(), box("Error reading camera hardware info!\nPlease contact QEL AG!\n"));
}

TEST_F(CameraInfoTest, IncompatibleBoardIsRefusedOrInEmergencyModeQuestioned) {
    const std::string incompatible =
        "kelvoflash v1.11 errorCamera hardware error! Device KM4MAIN is incompatible.\n"
        "Please download newer/compatible qel.programmer or contact QEL AG";
    script.hardware = {{"KM4GIGE", 1, 1}, {"KM4MAIN", 27, 1}};
    EXPECT_FALSE(read());
    EXPECT_EQ(host.texts(), box(incompatible + "\n"));
    EXPECT_EQ(script.count(cmd::GET_FIRMWARE_VERSIONS_PAGE), 0);

    dialog.options.emergencyMode = true;
    host.answers = {true};
    EXPECT_TRUE(read());
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_TRUE(host.boxes[0].question);
    EXPECT_EQ(host.boxes[0].text, incompatible + "!\n" + kContactLine + "Ignore this error\n");
    host.answers = {false};
    EXPECT_FALSE(read());

    // Record counts outside 1 to 10 are retried, then taken as incompatible.
    script.hardware.clear();
    host.answers = {true};
    EXPECT_TRUE(read());
    EXPECT_EQ(script.count(cmd::GET_HARDWARE_VERSIONS), 12);
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_TRUE(host.boxes[0].question);
}

TEST_F(CameraInfoTest, PagedRecordsBeyondTheTenthUnpagedOnlyTheFirstTenMissingPageNone) {
    script.firmware = {{"Main Bootloader", 1, 6, 1}, {"Main uP", 5, 2, 1}};
    for (int i = 0; i < 9; ++i)
        script.firmware.push_back({"Other " + std::to_string(i), 1, 0, 1});
    script.firmware.push_back({"Head FPGA", 2, 7, 9});  // record 11: on page 1
    EXPECT_TRUE(read());
    EXPECT_EQ(script.count(cmd::GET_FIRMWARE_VERSIONS_PAGE), 2);
    EXPECT_TRUE(dialog.deviceAvailable[4]);
    EXPECT_EQ(dialog.model.caption(currentFwId(4)), "009 V02.07");

    script.pagedCommand = false;
    EXPECT_TRUE(read());
    EXPECT_EQ(script.count(cmd::GET_FIRMWARE_VERSIONS_PAGE), 1);
    EXPECT_EQ(script.count(cmd::GET_FIRMWARE_VERSIONS), 1);
    EXPECT_FALSE(dialog.deviceAvailable[4]);
    EXPECT_EQ(dialog.cameraVersion[0], 0x0502);

    // Nothing of a missing page is taken, not even stale records of page 0.
    script.pagedCommand = true;
    script.failingPage = 1;
    EXPECT_TRUE(read());
    EXPECT_EQ(script.count(cmd::GET_FIRMWARE_VERSIONS_PAGE), 2);
    EXPECT_FALSE(dialog.deviceAvailable[4]);
    EXPECT_EQ(dialog.cameraVersion[0], 0x0502);
}

TEST_F(CameraInfoTest, UnreadableFirmwareLeavesTheMainMicrocontrollerWithoutAVersionRefused) {
    script.failNext[cmd::GET_FIRMWARE_VERSIONS_PAGE] = 1;
    script.failNext[cmd::GET_FIRMWARE_VERSIONS] = 1;
    EXPECT_TRUE(read());
    EXPECT_EQ(dialog.deviceAvailable, (std::array<bool, 5>{true, false, false, false, false}));
    EXPECT_EQ(host.texts(), box("Error reading camera firmware info!\n"
                                "Please try to reflash Main µP and FireWire µP!",
                                false));

    script.firmware = {{"Main Bootloader", 1, 6, 1}, {"Main FPGA", 3, 1, 4}};
    EXPECT_FALSE(read());
    EXPECT_EQ(host.texts(),
              box("Camera firmware/hardware is not compatible!\nPlease contact QEL AG!\n"));
}

TEST_F(CameraInfoTest, MissingBootloaderRecordIsRefusedOverCameraLinkOnly) {
    script.firmware = {{"Main uP", 5, 2, 1}};
    EXPECT_TRUE(read(0));
    factory.camLink.firmware = {{"Main uP", 5, 2, 1}};
    EXPECT_FALSE(read(2));
    EXPECT_EQ(host.texts(),
              box("Old bootloader found\nProgramming with this Interface type not allowed", false));
    // Tarun cameras name their bootloader differently.
    factory.camLink.cameraType = 0x1310;
    factory.camLink.firmware = {{"boot.tarun", 1, 0, 1}, {"Main uP", 5, 2, 1}};
    EXPECT_TRUE(read(2));
    factory.camLink.cameraType = 0x1200;
    EXPECT_FALSE(read(2));
}

TEST_F(CameraInfoTest, ProgrammingRunKeepsThePreviousState) {
    EXPECT_TRUE(read());
    script.firmware = {{"Main Bootloader", 1, 6, 1}, {"Main uP", 5, 3, 1}};
    dialog.programmingRun = true;
    EXPECT_TRUE(dialog.ReadCameraInfo());
    EXPECT_TRUE(dialog.deviceAvailable[1]);  // not reported now, but kept
    EXPECT_EQ(dialog.cameraVersion[0], 0x0503);
    dialog.programmingRun = false;
    EXPECT_TRUE(dialog.ReadCameraInfo());
    EXPECT_FALSE(dialog.deviceAvailable[1]);
}

}  // namespace

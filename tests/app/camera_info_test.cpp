#include <gtest/gtest.h>

#include "programmer/app/contact.h"
#include "programmer/app/hardware_compatibility.h"
#include "dialog_rig.h"

namespace {

using namespace app;
namespace cmd = protocol::cmd;
using Texts = std::vector<std::string>;

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

// The camera information read against camsim's model, whose records the tests change between reads.
class CameraInfoTest : public ::testing::Test, public apptest::DialogRig {
protected:
    apptest::ModelCameraState& camera = factory.com;

    // Reads over a new link of `interfaceType`, opened unless `open` is false.
    bool read(int interfaceType = 0, bool open = true) {
        ProgDlgTestAccess::options(dialog).interfaceType = interfaceType;
        auto& source = interfaceType == 2 ? factory.camLink : factory.com;
        ProgDlgTestAccess::link(dialog) =
            interfaceType == 2 ? factory.makeCamLink(false) : factory.makeCom(false);
        if (open) dialog.link()->Open(0);
        source.commands.clear();
        host.boxes.clear();
        return dialog.ReadCameraInfo();
    }
    static std::vector<std::string> box(const std::string& text, bool contact = true) {
        return {contact ? text + kContactLine : text};
    }
    static sim::FirmwareRecord record(const char* name, int major, int minor, int variant) {
        return {name, uint8_t(minor), uint8_t(major), uint16_t(variant)};
    }
    const sim::FirmwareRecord kBootloader = record("Main Bootloader", 1, 6, 1);
};

TEST_F(CameraInfoTest, FillsTheRowsFromTheFirmwareRecordsOrOnlyMainUpInBootMode) {
    EXPECT_TRUE(read());
    EXPECT_EQ(ProgDlgTestAccess::deviceAvailable(dialog),
              (std::array<bool, 5>{true, true, true, false, false}));
    EXPECT_EQ(dialog.CameraVariant(int(1)), 4);
    EXPECT_EQ(dialog.CameraVersion(int(1)), 0x0301);
    EXPECT_EQ(dialog.CameraVersion(int(3)), -1);
    EXPECT_EQ(dialog.CameraVariant(int(3)), 0xFFFF);
    EXPECT_EQ(dialog.Model().caption(currentFwId(1)), "004 V03.01");
    EXPECT_EQ(dialog.Model().caption(kIdStatusLine), "");
    EXPECT_TRUE(host.boxes.empty());

    // A programming run keeps what a device no longer reports.
    camera.records = {kBootloader, record("Main uP", 5, 3, 1)};
    ProgDlgTestAccess::programmingRun(dialog) = true;
    EXPECT_TRUE(dialog.ReadCameraInfo());
    EXPECT_TRUE(dialog.DeviceAvailable(int(1)));
    EXPECT_EQ(dialog.CameraVersion(int(0)), 0x0503);
    ProgDlgTestAccess::programmingRun(dialog) = false;
    EXPECT_TRUE(dialog.ReadCameraInfo());
    EXPECT_FALSE(dialog.DeviceAvailable(int(1)));

    camera.options.bootMode = true;
    camera.model.reset();
    EXPECT_FALSE(read());
    EXPECT_EQ(ProgDlgTestAccess::deviceAvailable(dialog),
              (std::array<bool, 5>{true, false, false, false, false}));
    EXPECT_TRUE(camera.commands.empty());
}

TEST_F(CameraInfoTest, IncompatibleBoardIsRefusedOrInEmergencyModeQuestioned) {
    const std::string incompatible =
        "kelvoflash v1.11 errorCamera hardware error! Device KM4MAIN is incompatible.\n"
        "Please download newer/compatible qel.programmer or contact QEL AG";
    camera.options.hardware = {{"KM4GIGE", 1, 1}, {"KM4MAIN", 27, 1}};
    EXPECT_FALSE(read());
    EXPECT_EQ(host.texts(), box(incompatible + "\n"));
    EXPECT_EQ(camera.count(cmd::GET_FIRMWARE_VERSIONS_PAGE), 0);

    ProgDlgTestAccess::options(dialog).emergencyMode = true;
    host.answers = {true};
    EXPECT_TRUE(read());
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_TRUE(host.boxes[0].question);
    EXPECT_EQ(host.boxes[0].text, incompatible + "!\n" + kContactLine + "Ignore this error\n");
    host.answers = {false};
    EXPECT_FALSE(read());

    // Record counts outside 1 to 10 are retried, then taken as incompatible.
    camera.options.hardware.clear();
    host.answers = {true};
    EXPECT_TRUE(read());
    EXPECT_EQ(camera.count(cmd::GET_HARDWARE_VERSIONS), 12);
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_TRUE(host.boxes[0].question);
}

TEST_F(CameraInfoTest, PagedRecordsBeyondTheTenthUnpagedOnlyTheFirstTenMissingPageNone) {
    camera.records = {kBootloader, record("Main uP", 5, 2, 1)};
    for (int i = 0; i < 9; ++i) camera.records->push_back(record("Other", 1, 0, 1));
    camera.records->push_back(record("Head FPGA", 2, 7, 9));  // record 11: on page 1
    EXPECT_TRUE(read());
    EXPECT_EQ(camera.count(cmd::GET_FIRMWARE_VERSIONS_PAGE), 2);
    EXPECT_TRUE(dialog.DeviceAvailable(int(4)));
    EXPECT_EQ(dialog.Model().caption(currentFwId(4)), "009 V02.07");

    camera.options.pagedFirmware = false;
    EXPECT_TRUE(read());
    EXPECT_EQ(camera.count(cmd::GET_FIRMWARE_VERSIONS_PAGE), 1);
    EXPECT_EQ(camera.count(cmd::GET_FIRMWARE_VERSIONS), 1);
    EXPECT_FALSE(dialog.DeviceAvailable(int(4)));
    EXPECT_EQ(dialog.CameraVersion(int(0)), 0x0502);

    // Nothing of a missing page is taken, not even stale records of page 0.
    camera.options.pagedFirmware = true;
    camera.failingPage = 1;
    EXPECT_TRUE(read());
    EXPECT_EQ(camera.count(cmd::GET_FIRMWARE_VERSIONS_PAGE), 2);
    EXPECT_FALSE(dialog.DeviceAvailable(int(4)));
    EXPECT_EQ(dialog.CameraVersion(int(0)), 0x0502);
}

TEST_F(CameraInfoTest, MissingBootloaderRecordIsRefusedOverCameraLinkOnly) {
    camera.options.bootloader = factory.camLink.options.bootloader = false;
    EXPECT_TRUE(read(0));
    EXPECT_FALSE(read(2));
    EXPECT_EQ(host.texts(),
              box("Old bootloader found\nProgramming with this Interface type not allowed", false));
    // Tarun cameras name their bootloader differently.
    factory.camLink.options.cameraType = 0x1310;
    factory.camLink.records = {record("boot.tarun", 1, 0, 1), record("Main uP", 5, 2, 1)};
    EXPECT_TRUE(read(2));
    factory.camLink.options.cameraType = 0x1200;
    EXPECT_FALSE(read(2));
}

// Replies that do not come, or that are complete telegrams but shorter than the fields the read
// takes from them, are refused, never shown as zeros: the camera type and the hardware records
// with the contact line (the hardware asked twelve times, 100 ms apart, before giving up), the
// firmware records with the Main uP left without a version to reflash.
TEST_F(CameraInfoTest, UnreadableOrShortRepliesAreRefusedNotReadAsZeros) {
    const std::string kFirmwareError =
        "Error reading camera firmware info!\nPlease try to reflash Main µP and FireWire µP!";
    const std::string kType =
        WithContactLine("Error reading camera type info!\nPlease contact QEL AG!\n");
    const std::string kHardware =
        WithContactLine("Error reading camera hardware info!\nPlease contact QEL AG!\n");
    const std::string kNone = "--- V--.--";
    const struct {
        std::vector<std::string> faults;  // camsim faults
        bool result;
        std::string box;  // the message shown, "" for none
        std::string mainUp, mainFpga;  // the rows' current versions
        int hardwareAsked, sleptMs;
    } rows[] = {
        {{}, true, "", "001 V05.02", "004 V03.01", 1, 0},
        {{"no-reply:0110:5"}, false, kType, kNone, kNone, 0, 0},
        {{"short-reply:0110:1"}, false, kType, kNone, kNone, 0, 0},  // one byte of type
        {{"no-reply:0710:11"}, true, "", "001 V05.02", "004 V03.01", 12, 1100},
        {{"no-reply:0710:12"}, false, kHardware, kNone, kNone, 12, 1200},
        // The count of hardware records, but not the records.
        {{"short-reply:0710:2"}, false, kHardware, kNone, kNone, 12, 1200},
        {{"no-reply:0d10:1", "no-reply:0810:1"}, true, kFirmwareError, kNone, kNone, 1, 0},
        // Firmware records promised but only partly there: nothing of them is shown.
        {{"short-reply:0d10:50"}, true, kFirmwareError, kNone, kNone, 1, 0},
        {{"short-reply:0d10"}, true, kFirmwareError, kNone, kNone, 1, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.faults.empty() ? "" : row.faults[0]);
        apptest::DialogRig t;
        for (const std::string& fault : row.faults) t.factory.com.fault(fault);
        ProgDlgTestAccess::link(t.dialog) = t.factory.makeCom(false);
        EXPECT_EQ(t.dialog.ReadCameraInfo(), row.result);
        EXPECT_EQ(t.host.texts(), row.box.empty() ? Texts{} : box(row.box, false));
        EXPECT_EQ(t.dialog.Model().caption(currentFwId(0)), row.mainUp);
        EXPECT_EQ(t.dialog.Model().caption(currentFwId(1)), row.mainFpga);
        EXPECT_EQ(t.factory.com.count(cmd::GET_HARDWARE_VERSIONS), row.hardwareAsked);
        EXPECT_EQ(t.host.virtualClock.totalSlept(), platform::Milliseconds(row.sleptMs));
        if (row.box == kFirmwareError) {
            EXPECT_EQ(ProgDlgTestAccess::deviceAvailable(t.dialog),
                      (std::array<bool, 5>{true, false, false, false, false}));
        }
    }
    // Without the Main uP's record nothing can be compared.
    camera.records = {kBootloader, record("Main FPGA", 3, 1, 4)};
    EXPECT_FALSE(read());
    EXPECT_EQ(host.texts(),
              box("Camera firmware/hardware is not compatible!\nPlease contact QEL AG!\n"));
}

}  // namespace

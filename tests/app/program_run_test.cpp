// The programming run against a scripted camera with flash: order, erase rules, row states,
// messages, outcomes and the reboot after each device, in virtual time.

#include <gtest/gtest.h>

#include <set>

#include "flash_camera.h"
#include "programmer/app/contact.h"
#include "programmer/app/prog_dlg.h"
#include "programmer/camera/flash_device.h"
#include "scripted_host.h"
#include "update_file_builder.h"

namespace {

using namespace app;
using apptest::RecordSpec;
using protocol::cmd::CLOSE_DEVICE;

constexpr const char* kLoadOrSelect = "Load Update File, select other port or close programmer";
const std::string kOpenError = WithContactLine("Error Open Device!\nPlease contact QEL AG!\n");
const std::string kEraseError = WithContactLine("Error Erase Flash!\nPlease contact QEL AG!\n");
const std::string kRunFailed = WithContactLine("Programming failed!\nPlease contact QEL AG!\n");
constexpr const char* kCloseError = "Cannot close device! Programmer quits update!\n";

std::vector<uint8_t> pattern(size_t size, int seed) {
    std::vector<uint8_t> data(size);
    for (size_t i = 0; i < size; ++i)
        data[i] = uint8_t(i * 7 + size_t(seed) * 31);
    return data;
}

// Newer than the scripted camera in every row; the Main FPGA image has a blank block.
std::vector<RecordSpec> newerFile() {
    auto fpga = pattern(700, 1);
    std::fill(fpga.begin() + 256, fpga.begin() + 512, 0xFF);
    return {{0, 6, 0, 1, pattern(600, 0), 0x100},
            {1, 4, 0, 4, fpga},
            {2, 2, 0, 2, pattern(448, 2)},
            {3, 2, 0, 7, pattern(164, 3)},
            {4, 3, 0, 9, pattern(300, 4)}};
}

class RecordingObserver : public ProgramRunObserver {
public:
    void phaseStarted(int row, RunPhase phase) override { phases.push_back({row, phase}); }
    void deviceFinished(int row, const DeviceOutcome& outcome) override {
        finished.push_back({row, outcome});
    }
    void runFinished(bool result) override { results.push_back(result); }

    std::vector<std::pair<int, RunPhase>> phases;
    std::vector<std::pair<int, DeviceOutcome>> finished;
    std::vector<bool> results;
};

class ProgramRunTest : public ::testing::Test {
protected:
    apptest::ScriptedHost host;
    apptest::FlashFactory factory;
    ProgDlg dialog{host, factory};
    apptest::UpdateFiles files;
    RecordingObserver observer;
    std::vector<std::string> titles;

    void SetUp() override {
        factory.com.firmware.push_back({"Main PLL", 1, 0, 7});
        factory.com.firmware.push_back({"Head FPGA", 2, 0, 9});
        host.onPump = [this] { titles.push_back(dialog.model.windowTitle); };
        dialog.runObserver = &observer;
    }
    // Connects directly, loads `records` (accepted) and keeps only `rows` checked.
    void prepare(const std::vector<RecordSpec>& records, std::set<int> rows = {0, 1, 2, 3, 4},
                 bool emergency = false) {
        dialog.options.connectWithoutDialog = true;
        dialog.options.emergencyMode = emergency;
        dialog.OnInitDialog();
        host.files.push_back(files.write("update.qup", records));
        dialog.OnLoadFile();
        ASSERT_FALSE(dialog.loaded.loadedFileName.empty());
        for (int row = 0; row < kRowCount; ++row)
            dialog.CheckDevice(row, rows.count(row) != 0);
        host.boxes.clear();
        factory.com.commands.clear();
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> all;
        for (const auto& box : host.boxes)
            all.push_back(box.text);
        return all;
    }
    std::string status() const { return dialog.model.caption(kIdStatusLine); }
    std::set<int> enabledButtons() const {
        std::set<int> ids;
        for (const int id : kMainButtons)
            if (dialog.model.isEnabled(id))
                ids.insert(id);
        return ids;
    }
    bool flashHolds(int row, const RecordSpec& record) const {
        const uint32_t base = record.startOffset + (row == 0 ? 0x80000000u : 0u);
        return factory.flash.read(row, base, record.data.size()) == record.data;
    }
};

TEST_F(ProgramRunTest, EveryCheckedDeviceIsProgrammedInOrderWithARebootAfterEach) {
    const auto records = newerFile();
    prepare(records);
    dialog.OnProgram();

    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(factory.flash.opened, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(factory.flash.erases, 4);  // not the EEPROM
    EXPECT_EQ(factory.com.reboots, 5);
    EXPECT_GT(factory.com.count(protocol::cmd::WRITE_EEPROM_BLOCK), 0);
    for (int row = 0; row < kRowCount; ++row) {
        EXPECT_TRUE(flashHolds(row, records[size_t(row)])) << row;
        EXPECT_EQ(dialog.model.rowState[size_t(row)], ROW_DONE) << row;
        EXPECT_EQ(dialog.lastRun[size_t(row)].result, DeviceResult::kProgrammed);
    }
    EXPECT_EQ(dialog.model.control(progressId(2)).position, 100);
    EXPECT_EQ(status(), kLoadOrSelect);
    EXPECT_TRUE(dialog.model.isEnabled(kIdProgram));
    EXPECT_TRUE(dialog.model.isEnabled(kIdLoadFile));
    ASSERT_FALSE(titles.empty());
    EXPECT_EQ(titles.front(), "kelvoflash v1.11 / DO NOT UNPLUG OR SWITCH OFF!!");
    EXPECT_EQ(dialog.model.windowTitle, "kelvoflash v1.11 ");

    // Each device: open, erase (not the EEPROM), write, close, reboot; then the run's result.
    std::vector<std::pair<int, RunPhase>> expected;
    for (int row = 0; row < kRowCount; ++row) {
        expected.push_back({row, RunPhase::kOpen});
        if (row != 2)
            expected.push_back({row, RunPhase::kErase});
        for (auto phase : {RunPhase::kWrite, RunPhase::kClose, RunPhase::kReboot})
            expected.push_back({row, phase});
    }
    EXPECT_EQ(observer.phases, expected);
    EXPECT_EQ(observer.finished.size(), 5u);
    EXPECT_EQ(observer.results, std::vector<bool>{true});
}

TEST_F(ProgramRunTest, TheEepromAloneIsNotErased) {
    prepare(newerFile(), {2});
    dialog.OnProgram();
    EXPECT_EQ(factory.flash.opened, std::vector<int>{2});
    EXPECT_EQ(factory.com.count(protocol::cmd::ERASE_DEVICE), 0);
    EXPECT_EQ(dialog.model.rowState[2], ROW_DONE);
}

TEST_F(ProgramRunTest, DevicesTheCameraDoesNotReportAreSkippedUnlessInEmergencyMode) {
    factory.com.firmware.resize(4);  // no PLL, no head FPGA
    prepare(newerFile(), {3, 4});
    dialog.OnProgram();
    EXPECT_TRUE(factory.flash.opened.empty());
    EXPECT_EQ(dialog.lastRun[3].result, DeviceResult::kNotRun);
}

TEST_F(ProgramRunTest, EmergencyModeProgramsDevicesTheCameraDoesNotReport) {
    factory.com.firmware.resize(4);
    const auto records = newerFile();
    prepare(records, {3, 4}, true);
    dialog.OnProgram();
    EXPECT_EQ(factory.flash.opened, (std::vector<int>{3, 4}));
    EXPECT_TRUE(flashHolds(3, records[3]));
    EXPECT_TRUE(flashHolds(4, records[4]));
    EXPECT_EQ(dialog.model.windowTitle, "kelvoflash v1.11 emergency ");
}

TEST_F(ProgramRunTest, AHeadFpgaThatCannotBeOpenedEndsTheRunQuietly) {
    factory.com.failNext[protocol::cmd::OPEN_HEAD_FPGA] = 3;
    prepare(newerFile());
    dialog.OnProgram();
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(factory.com.count(protocol::cmd::OPEN_HEAD_FPGA), 3);
    EXPECT_EQ(status(), kLoadOrSelect);
    EXPECT_EQ(dialog.lastRun[4].result, DeviceResult::kNotRun);
    EXPECT_NE(dialog.lastRun[4].error, 0u);
    EXPECT_EQ(dialog.lastRun[3].result, DeviceResult::kProgrammed);
    EXPECT_TRUE(dialog.model.isEnabled(kIdProgram));
}

TEST_F(ProgramRunTest, AnOpenFailureOnRowsZeroToThreeEndsTheRunFailed) {
    for (int failing = 0; failing < 4; ++failing) {
        apptest::ScriptedHost localHost;
        apptest::FlashFactory localFactory;
        localFactory.com.firmware = factory.com.firmware;
        localFactory.com.failNext[protocol::kOpenCodeByRow[size_t(failing)]] = 3;
        ProgDlg local(localHost, localFactory);
        local.options.connectWithoutDialog = true;
        local.OnInitDialog();
        localHost.files.push_back(files.write("update.qup", newerFile()));
        local.OnLoadFile();
        localHost.boxes.clear();
        local.OnProgram();

        std::vector<std::string> shown;
        for (const auto& box : localHost.boxes)
            shown.push_back(box.text);
        EXPECT_EQ(shown, (std::vector<std::string>{kOpenError, kRunFailed})) << failing;
        std::vector<int> before;
        for (int row = 0; row < failing; ++row)
            before.push_back(row);
        EXPECT_EQ(localFactory.flash.opened, before);
        EXPECT_EQ(local.model.rowState[size_t(failing)], ROW_FAILED);
        EXPECT_EQ(local.lastRun[size_t(failing)].result, DeviceResult::kFailed);
        EXPECT_EQ(local.model.caption(kIdStatusLine),
                  "Programming failed for " + local.model.caption(checkBoxId(failing)) + "!");
        // Only Quit is left to the user.
        EXPECT_TRUE(local.model.isEnabled(kIdQuit));
        EXPECT_FALSE(local.model.isEnabled(kIdProgram));
        EXPECT_FALSE(local.model.isEnabled(kIdLoadFile));
    }
}

TEST_F(ProgramRunTest, AnEraseFailureEndsTheRunAndClosesTheDevice) {
    factory.com.failNext[protocol::cmd::ERASE_DEVICE] = 1;
    prepare(newerFile(), {1, 2});
    dialog.OnProgram();
    EXPECT_EQ(texts(), (std::vector<std::string>{kEraseError, kRunFailed}));
    EXPECT_EQ(factory.com.commands.back(), CLOSE_DEVICE);
    EXPECT_EQ(factory.flash.opened, std::vector<int>{1});
    EXPECT_EQ(factory.com.reboots, 0);
    EXPECT_EQ(dialog.model.rowState[1], ROW_FAILED);
    EXPECT_EQ(enabledButtons(), std::set<int>{kIdQuit});
}

TEST_F(ProgramRunTest, ACloseFailureQuitsTheUpdateWithoutAReboot) {
    factory.com.failNext[CLOSE_DEVICE] = 1;
    prepare(newerFile());
    dialog.OnProgram();
    EXPECT_EQ(texts(), std::vector<std::string>{kCloseError});
    EXPECT_EQ(factory.com.reboots, 0);
    EXPECT_EQ(factory.flash.opened, std::vector<int>{0});
    EXPECT_EQ(dialog.model.rowState[0], ROW_FAILED);
    EXPECT_EQ(dialog.lastRun[0].result, DeviceResult::kFailed);
    EXPECT_EQ(status(), "Programming failed for Main \xB5P!");
    EXPECT_EQ(enabledButtons(), std::set<int>{kIdQuit});
}

TEST_F(ProgramRunTest, AFailedDeviceIsShownAndTheRunGoesOn) {
    factory.com.failNext[protocol::cmd::WRITE_BLOCK] = 1;
    const auto records = newerFile();
    prepare(records, {1, 2, 4});
    dialog.OnProgram();
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(dialog.model.rowState[1], ROW_FAILED);
    EXPECT_EQ(dialog.lastRun[1].result, DeviceResult::kFailed);
    EXPECT_EQ(dialog.lastRun[1].error, protocol::kErrPortIo);
    EXPECT_EQ(factory.flash.opened, (std::vector<int>{1, 2, 4}));
    EXPECT_TRUE(flashHolds(4, records[4]));
    EXPECT_EQ(status(), std::string("Programming failed for Main FPGA! ") + kLoadOrSelect);
}

TEST_F(ProgramRunTest, AFailedMainUpChecksumStepMarksTheRowFailed) {
    factory.com.failNext[protocol::cmd::GET_CHECKSUM] = 1;
    prepare(newerFile(), {0});
    dialog.OnProgram();
    EXPECT_EQ(dialog.model.rowState[0], ROW_FAILED);
    EXPECT_EQ(dialog.lastRun[0].result, DeviceResult::kFailed);
    EXPECT_EQ(status(), std::string("Programming failed for Main \xB5P! ") + kLoadOrSelect);
}

TEST_F(ProgramRunTest, ACameraThatDoesNotComeBackEndsTheRunFailed) {
    factory.com.rebootResult = protocol::kErrNoCamera;
    prepare(newerFile());
    dialog.OnProgram();
    EXPECT_EQ(texts(), std::vector<std::string>{kRunFailed});
    EXPECT_EQ(factory.flash.opened, std::vector<int>{0});
    EXPECT_EQ(status(), "Connection to Camera lost, select other port or close programmer");
    EXPECT_EQ(dialog.lastRun[1].result, DeviceResult::kNotRun);
    EXPECT_FALSE(dialog.model.isEnabled(kIdProgram));
    EXPECT_EQ(observer.results, std::vector<bool>{false});
}

TEST_F(ProgramRunTest, ADeviceTheCameraStopsReportingAfterARebootFails) {
    factory.flash.onReboot = [](apptest::CameraScript& script) {
        std::erase_if(script.firmware, [](const auto& r) { return r.name == "Main FPGA"; });
    };
    prepare(newerFile(), {0, 1, 2});
    dialog.OnProgram();
    EXPECT_EQ(factory.flash.opened, (std::vector<int>{0, 2}));
    EXPECT_EQ(dialog.model.rowState[1], ROW_FAILED);
    EXPECT_EQ(dialog.lastRun[1].error, protocol::kErrNoCamera);
    EXPECT_EQ(status(), std::string("Programming failed for Main FPGA! ") + kLoadOrSelect);
}

TEST_F(ProgramRunTest, ACheckedDeviceWithoutAnImageIsNeverErased) {
    auto records = newerFile();
    records.erase(records.begin() + 3);  // no PLL image
    prepare(records, {3}, true);
    dialog.CheckDevice(3);
    dialog.OnProgram();
    EXPECT_TRUE(factory.flash.opened.empty());
    EXPECT_EQ(factory.com.count(protocol::cmd::ERASE_DEVICE), 0);
    EXPECT_EQ(dialog.model.rowState[3], ROW_FAILED);
    EXPECT_EQ(dialog.lastRun[3].error, camera::kErrBadDeviceRequest);
}

}  // namespace

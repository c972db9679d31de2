// The programming run against a scripted camera with flash, in virtual time.

#include <gtest/gtest.h>

#include <set>

#include "programmer/app/contact.h"
#include "programmer/app/prog_dlg.h"
#include "scripted_camera.h"
#include "scripted_host.h"
#include "update_file_builder.h"

namespace {

using namespace app;
using apptest::FileRecord;
using Texts = std::vector<std::string>;
namespace cmd = protocol::cmd;

const std::string kRunFailed = WithContactLine("Programming failed!\nPlease contact QEL AG!\n");

std::vector<uint8_t> pattern(size_t size, int seed) {
    std::vector<uint8_t> data(size);
    for (size_t i = 0; i < size; ++i)
        data[i] = uint8_t(i * 7 + size_t(seed) * 31);
    return data;
}

// Newer than the scripted camera in every row; the Main FPGA image has a blank block.
std::vector<FileRecord> newerFile() {
    auto fpga = pattern(700, 1);
    std::fill(fpga.begin() + 256, fpga.begin() + 512, 0xFF);
    return {{0, 6, 0, 1, pattern(600, 0), 0x100},
            {1, 4, 0, 4, fpga},
            {2, 2, 0, 2, pattern(448, 2)},
            {3, 2, 0, 7, pattern(164, 3)},
            {4, 3, 0, 9, pattern(300, 4)}};
}

// A camera reporting all five devices; records the run's phases and the titles while it waits.
struct Rig : ProgramRunObserver {
    apptest::ScriptedHost host;
    apptest::ScriptedFactory factory;
    apptest::CameraScript& camera = factory.com;
    ProgDlg dialog{host, factory};
    apptest::UpdateFiles files;
    std::vector<std::pair<int, RunPhase>> phases;
    int finished = 0;
    std::vector<bool> results;
    std::vector<std::string> titles;

    Rig() {
        camera.firmware.push_back({"Main PLL", 1, 0, 7});
        camera.firmware.push_back({"Head FPGA", 2, 0, 9});
        host.onPump = [this] { titles.push_back(dialog.model.windowTitle); };
        dialog.runObserver = this;
    }
    void phaseStarted(int row, RunPhase phase) override { phases.push_back({row, phase}); }
    void deviceFinished(int, const DeviceOutcome&) override { ++finished; }
    void runFinished(bool result) override { results.push_back(result); }

    void program(const std::vector<FileRecord>& records, std::set<int> rows = {0, 1, 2, 3, 4},
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
        camera.commands.clear();
        dialog.OnProgram();
    }
    std::string status() const { return dialog.model.caption(kIdStatusLine); }
    std::set<int> enabledButtons() const {
        std::set<int> ids;
        for (const int id : kMainButtons)
            if (dialog.model.isEnabled(id))
                ids.insert(id);
        return ids;
    }
    bool flashHolds(int row, const FileRecord& record) const {
        const uint32_t base = record.startOffset + (row == 0 ? 0x80000000u : 0u);
        return camera.read(row, base, record.data.size()) == record.data;
    }
};

TEST(ProgramRun, EveryCheckedDeviceIsProgrammedInOrderWithARebootAfterEach) {
    Rig r;
    const auto records = newerFile();
    r.program(records);
    EXPECT_TRUE(r.host.boxes.empty());
    EXPECT_EQ(r.camera.opened, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(r.camera.count(cmd::ERASE_DEVICE), 4);  // not the EEPROM
    EXPECT_EQ(r.camera.reboots, 5);
    EXPECT_GT(r.camera.count(cmd::WRITE_EEPROM_BLOCK), 0);
    for (int row = 0; row < kRowCount; ++row) {
        EXPECT_TRUE(r.flashHolds(row, records[size_t(row)])) << row;
        EXPECT_EQ(r.dialog.model.rowState[size_t(row)], ROW_DONE) << row;
        EXPECT_EQ(r.dialog.lastRun[size_t(row)].result, DeviceResult::kProgrammed);
    }
    EXPECT_EQ(r.dialog.model.control(progressId(2)).position, 100);
    EXPECT_EQ(r.status(), kLoadOrSelect);
    EXPECT_TRUE(r.dialog.model.isEnabled(kIdProgram));
    EXPECT_TRUE(r.dialog.model.isEnabled(kIdLoadFile));
    ASSERT_FALSE(r.titles.empty());
    EXPECT_EQ(r.titles.front(), "kelvoflash v1.11 / DO NOT UNPLUG OR SWITCH OFF!!");
    EXPECT_EQ(r.dialog.model.windowTitle, "kelvoflash v1.11 ");

    // Each device: open, erase (not the EEPROM), write, close, reboot; then the run's result.
    std::vector<std::pair<int, RunPhase>> expected;
    for (int row = 0; row < kRowCount; ++row) {
        expected.push_back({row, RunPhase::kOpen});
        if (row != 2)
            expected.push_back({row, RunPhase::kErase});
        for (auto phase : {RunPhase::kWrite, RunPhase::kClose, RunPhase::kReboot})
            expected.push_back({row, phase});
    }
    EXPECT_EQ(r.phases, expected);
    EXPECT_EQ(r.finished, 5);
    EXPECT_EQ(r.results, std::vector<bool>{true});
}

TEST(ProgramRun, ACheckedDeviceTheCameraDoesNotReportAtItsTurnFailsOutsideEmergencyMode) {
    Rig normal;
    normal.camera.firmware.resize(4);  // no PLL, no head FPGA
    normal.program(newerFile(), {2, 3, 4});
    EXPECT_EQ(normal.camera.opened, std::vector<int>{2});
    for (const int row : {3, 4}) {
        EXPECT_EQ(normal.dialog.lastRun[size_t(row)].result, DeviceResult::kFailed) << row;
        EXPECT_EQ(normal.dialog.lastRun[size_t(row)].error, kErrDeviceNotReported) << row;
        EXPECT_EQ(normal.dialog.model.rowState[size_t(row)], ROW_FAILED) << row;
    }
    EXPECT_EQ(normal.status(), std::string("Programming failed for PLL, Head FPGA! Not reported "
                                           "by the camera: PLL, Head FPGA. ") +
                                   kLoadOrSelect);
    EXPECT_TRUE(normal.host.boxes.empty());
    EXPECT_EQ(normal.results, std::vector<bool>{true});

    Rig emergency;
    emergency.camera.firmware.resize(4);
    const auto records = newerFile();
    emergency.program(records, {3, 4}, true);
    EXPECT_EQ(emergency.camera.opened, (std::vector<int>{3, 4}));
    EXPECT_TRUE(emergency.flashHolds(3, records[3]));
    EXPECT_TRUE(emergency.flashHolds(4, records[4]));
    EXPECT_EQ(emergency.dialog.model.windowTitle, "kelvoflash v1.11 emergency ");
}

TEST(ProgramRun, EachRowIsDecidedWhenTheRunReachesIt) {
    // In boot mode only the Main uP is reported; once its new firmware runs, the rest is.
    Rig r;
    r.camera.bootMode = true;
    r.camera.leaveBootModeOnReboot = true;
    const auto records = newerFile();
    r.program(records);
    EXPECT_EQ(r.camera.opened, (std::vector<int>{0, 1, 2, 3, 4}));
    for (int row = 0; row < kRowCount; ++row) {
        EXPECT_EQ(r.dialog.model.rowState[size_t(row)], ROW_DONE) << row;
        EXPECT_TRUE(r.flashHolds(row, records[size_t(row)])) << row;
    }
    EXPECT_EQ(r.status(), kLoadOrSelect);
}

TEST(ProgramRun, AHeadFpgaThatCannotBeOpenedEndsTheRunQuietly) {
    Rig r;
    r.camera.failNext[cmd::OPEN_HEAD_FPGA] = 3;
    r.program(newerFile());
    EXPECT_TRUE(r.host.boxes.empty());
    EXPECT_EQ(r.camera.count(cmd::OPEN_HEAD_FPGA), 3);
    EXPECT_EQ(r.status(), kLoadOrSelect);
    EXPECT_EQ(r.dialog.lastRun[4].result, DeviceResult::kNotRun);
    EXPECT_NE(r.dialog.lastRun[4].error, 0u);
    EXPECT_EQ(r.dialog.lastRun[3].result, DeviceResult::kProgrammed);
    EXPECT_TRUE(r.dialog.model.isEnabled(kIdProgram));
}

TEST(ProgramRun, AnOpenFailureOnRowsZeroToThreeEndsTheRunFailed) {
    Rig r;
    r.camera.failNext[cmd::OPEN_PLL] = 3;
    r.program(newerFile());
    EXPECT_EQ(r.host.texts(),
              (Texts{WithContactLine("Error Open Device!\nPlease contact QEL AG!\n"), kRunFailed}));
    EXPECT_EQ(r.camera.opened, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(r.dialog.model.rowState[3], ROW_FAILED);
    EXPECT_EQ(r.dialog.lastRun[3].result, DeviceResult::kFailed);
    EXPECT_EQ(r.status(), "Programming failed for " + r.dialog.model.caption(checkBoxId(3)) + "!");
    EXPECT_EQ(r.enabledButtons(), std::set<int>{kIdQuit});  // only Quit is left to the user
}

TEST(ProgramRun, EraseOrCloseFailureQuitsTheUpdateWithoutAReboot) {
    Rig erase;
    erase.camera.failNext[cmd::ERASE_DEVICE] = 1;
    erase.program(newerFile(), {1, 2});
    EXPECT_EQ(erase.host.texts(),
              (Texts{WithContactLine("Error Erase Flash!\nPlease contact QEL AG!\n"), kRunFailed}));
    EXPECT_EQ(erase.camera.commands.back(), cmd::CLOSE_DEVICE);
    EXPECT_EQ(erase.camera.opened, std::vector<int>{1});
    EXPECT_EQ(erase.camera.reboots, 0);
    EXPECT_EQ(erase.dialog.model.rowState[1], ROW_FAILED);
    EXPECT_EQ(erase.enabledButtons(), std::set<int>{kIdQuit});

    Rig close;
    close.camera.failNext[cmd::CLOSE_DEVICE] = 1;
    close.program(newerFile());
    EXPECT_EQ(close.host.texts(), Texts{"Cannot close device! Programmer quits update!\n"});
    EXPECT_EQ(close.camera.reboots, 0);
    EXPECT_EQ(close.camera.opened, std::vector<int>{0});
    EXPECT_EQ(close.dialog.model.rowState[0], ROW_FAILED);
    EXPECT_EQ(close.dialog.lastRun[0].result, DeviceResult::kFailed);
    // Written, but not known to be kept: no version is shown for it.
    EXPECT_EQ(close.dialog.model.caption(currentFwId(0)), protocol::kNoVersionText);
    EXPECT_EQ(close.status(),
              "Programming failed for Main µP! Incomplete, program again: Main µP.");
    EXPECT_EQ(close.enabledButtons(), std::set<int>{kIdQuit});
}

TEST(ProgramRun, AFailedWriteMarksTheRowFailedAndTheRunGoesOn) {
    Rig r;
    r.camera.failNext[cmd::WRITE_BLOCK] = 1;
    const auto records = newerFile();
    r.program(records, {1, 2, 4});
    EXPECT_TRUE(r.host.boxes.empty());
    EXPECT_EQ(r.dialog.model.rowState[1], ROW_FAILED);
    EXPECT_EQ(r.dialog.lastRun[1].result, DeviceResult::kFailed);
    EXPECT_EQ(r.dialog.lastRun[1].error, protocol::kErrPortIo);
    EXPECT_EQ(r.camera.opened, (std::vector<int>{1, 2, 4}));
    EXPECT_TRUE(r.flashHolds(4, records[4]));
    EXPECT_TRUE(r.dialog.lastRun[1].incomplete);
    EXPECT_EQ(r.status(),
              std::string("Programming failed for Main FPGA! Incomplete, program again: Main "
                          "FPGA. ") +
                  kLoadOrSelect);
}

TEST(ProgramRun, ACameraThatDoesNotComeBackFailsTheRun) {
    Rig r;
    r.camera.rebootResult = protocol::kErrNoCamera;
    r.program(newerFile());
    EXPECT_EQ(r.host.texts(), Texts{kRunFailed});
    EXPECT_EQ(r.camera.opened, std::vector<int>{0});
    EXPECT_EQ(r.status(), "Connection to Camera lost, select other port or close programmer");
    EXPECT_EQ(r.dialog.lastRun[1].result, DeviceResult::kNotRun);
    EXPECT_FALSE(r.dialog.model.isEnabled(kIdProgram));
    EXPECT_FALSE(r.dialog.versionsReadAfterRun);
    // The status line asks for another port: that must be possible.
    EXPECT_EQ(r.enabledButtons(), (std::set<int>{kIdQuit, kIdSelectPort}));
    EXPECT_EQ(r.results, std::vector<bool>{false});
}

}  // namespace

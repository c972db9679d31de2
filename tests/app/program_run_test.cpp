// The programming run, and the device loop it shares with the backup, against camsim's camera
// model in process, in virtual time.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <stdexcept>

#include "programmer/app/contact.h"
#include "programmer/app/prog_dlg.h"
#include "programmer/files/file_probe.h"
#include "dialog_rig.h"
#include "tools/temp_folder.h"
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

// Newer than the model camera in every row; the Main FPGA image has a blank block.
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
struct Rig : apptest::DialogRig, ProgramRunObserver {
    apptest::ModelCameraState& camera = factory.com;
    apptest::UpdateFiles files;
    std::vector<std::pair<int, RunPhase>> phases;
    int finished = 0;
    std::vector<bool> results;
    std::vector<std::string> titles;
    std::vector<std::string> statuses;  // as the observer heard them
    std::function<bool()> stop;

    explicit Rig(bool allFive = true) {
        if (allFive) {
            camera.firmware(3, 7, 1, 0);
            camera.firmware(4, 9, 2, 0);
        }
        host.onPump = [this] { titles.push_back(dialog.Model().windowTitle); };
    }
    void phaseStarted(int row, RunPhase phase) override { phases.push_back({row, phase}); }
    void deviceFinished(int, const DeviceOutcome&) override { ++finished; }
    void runFinished(bool result) override { results.push_back(result); }
    void statusShown(const std::string& text) override { statuses.push_back(text); }

    void program(const std::vector<FileRecord>& records, std::set<int> rows = {0, 1, 2, 3, 4},
                 bool emergency = false) {
        startConnected({.emergencyMode = emergency});
        host.files.push_back(files.write("update.qup", records));
        dialog.OnLoadFile();
        ASSERT_FALSE(dialog.Loaded().loadedFileName.empty());
        for (int row = 0; row < kRowCount; ++row)
            dialog.CheckDevice(row, rows.count(row) != 0);
        host.boxes.clear();
        camera.commands.clear();
        dialog.Program({this, stop});
    }
    bool flashHolds(int row, const FileRecord& record) const {
        const uint32_t base = record.startOffset + (row == 0 ? 0x80000000u : 0u);
        return camera.read(row, base, record.data.size()) == record.data;
    }
};

// Every checked device is programmed in order, each: open, erase (not the EEPROM), write, close,
// reboot. Each row is decided when the run reaches it: a device the camera does not report at its
// turn fails outside emergency mode; in boot mode only the Main uP is reported until its new
// firmware runs after the reboot.
TEST(ProgramRun, EachRowIsDecidedWhenTheRunReachesIt) {
    const struct {
        const char* name;
        bool allFive, bootMode, emergency;
        std::set<int> rows;
        std::vector<int> opened;
        std::string states;  // D done, F failed, - idle
        std::string status;
        std::string title;
    } cases[] = {
        {"every device", true, false, false, {0, 1, 2, 3, 4}, {0, 1, 2, 3, 4}, "DDDDD",
         kLoadOrSelect, "kelvoflash v1.11 "},
        {"unreported rows fail", false, false, false, {2, 3, 4}, {2}, "--DFF",
         std::string("Programming failed for PLL, Head FPGA! Not reported by the camera: PLL, "
                     "Head FPGA. ") + kLoadOrSelect, "kelvoflash v1.11 "},
        {"emergency mode programs them", false, false, true, {3, 4}, {3, 4}, "---DD",
         kLoadOrSelect, "kelvoflash v1.11 emergency "},
        {"boot mode", true, true, false, {0, 1, 2, 3, 4}, {0, 1, 2, 3, 4}, "DDDDD", kLoadOrSelect,
         "kelvoflash v1.11 "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r(c.allFive);
        if (c.bootMode) r.camera.bootModeUntilReboot();
        const auto records = newerFile();
        r.program(records, c.rows, c.emergency);
        EXPECT_EQ(r.camera.opened(), c.opened);
        for (int row = 0; row < kRowCount; ++row) {
            const uint32_t state = r.dialog.Model().rowState[size_t(row)];
            EXPECT_EQ("-DF"[state == ROW_DONE ? 1 : state == ROW_FAILED ? 2 : 0],
                      c.states[size_t(row)]) << row;
            if (c.states[size_t(row)] == 'D') {
                EXPECT_TRUE(r.flashHolds(row, records[size_t(row)])) << row;
                EXPECT_EQ(r.dialog.DeviceResults()[size_t(row)].result, DeviceResult::kProgrammed);
            }
            if (c.states[size_t(row)] == 'F') {
                EXPECT_EQ(r.dialog.DeviceResults()[size_t(row)].error, kErrDeviceNotReported) << row;
            }
        }
        EXPECT_EQ(r.status(), c.status);
        ASSERT_FALSE(r.statuses.empty());
        EXPECT_EQ(r.statuses.back(), c.status);
        EXPECT_EQ(r.dialog.Model().windowTitle, c.title);
        ASSERT_FALSE(r.titles.empty());
        EXPECT_EQ(r.titles.front(), "kelvoflash v1.11 / DO NOT UNPLUG OR SWITCH OFF!!");
        EXPECT_TRUE(r.host.boxes.empty());
        EXPECT_TRUE(r.dialog.Model().isEnabled(kIdProgram) && r.dialog.Model().isEnabled(kIdLoadFile));
        EXPECT_EQ(r.results, std::vector<bool>{true});
        EXPECT_EQ(r.finished, int(c.rows.size()));
        std::vector<std::pair<int, RunPhase>> phases;
        for (const int row : c.opened) {
            phases.push_back({row, RunPhase::kOpen});
            if (row != 2) phases.push_back({row, RunPhase::kErase});
            for (auto phase : {RunPhase::kWrite, RunPhase::kClose, RunPhase::kReboot})
                phases.push_back({row, phase});
        }
        EXPECT_EQ(r.phases, phases);
        EXPECT_EQ(r.camera.reboots, int(c.opened.size()));
        EXPECT_EQ(r.camera.count(cmd::ERASE_DEVICE), int(c.opened.size()) - int(c.rows.count(2)));
        EXPECT_EQ(r.dialog.Model().control(progressId(2)).position, c.states[2] == 'D' ? 100 : 0);
    }
}

// The device loop of the programming run and of the backup: how each failure ends the run.
enum class Flow { kProgram, kBackup };
struct LoopCase {
    const char* name;
    Flow flow;
    std::set<int> rows;
    const char* fault;  // the camsim fault that hits the run
    Texts boxes;
    std::vector<int> opened;
    int reboots;
    int row;  // the device the failure hit, and what became of it
    DeviceResult result;
    protocol::ErrorCode error;
    bool incomplete;
    uint32_t rowState;
    std::string status;
    std::set<int> enabled;
    bool runResult;
};

const std::string kOpenFailed = WithContactLine("Error Open Device!\nPlease contact QEL AG!\n");
const std::string kBackupOpenFailed =
    WithContactLine("Backup: Error Open Device!\nPlease contact QEL AG!\n");
const std::string kCannotClose = "Cannot close device! Programmer quits update!\n";
const std::set<int> kOnlyQuit{kIdQuit};
// The Packet flow gives the controls back after any backup that failed.
const std::set<int> kAfterBackup{kIdQuit, kIdSelectPort, kIdReboot, kIdPacket};
const std::set<int> kRunAgain{kIdQuit, kIdSelectPort, kIdReboot, kIdLoadFile, kIdProgram};
const LoopCase kLoopCases[] = {
    {"open of the PLL fails three times", Flow::kProgram, {0, 1, 2, 3, 4}, "no-reply:7403:3",
     {kOpenFailed, kRunFailed}, {0, 1, 2, 3, 3, 3}, 3, 3, DeviceResult::kFailed,
     protocol::kErrPortIo, false, ROW_FAILED, "Programming failed for PLL!", kOnlyQuit, false},
    {"a head FPGA that cannot be opened ends the run quietly", Flow::kProgram, {0, 1, 2, 3, 4},
     "no-reply:7303:3", {}, {0, 1, 2, 3, 4, 4, 4}, 4, 4, DeviceResult::kNotRun,
     protocol::kErrPortIo, false, ROW_IDLE, kLoadOrSelect, kRunAgain, true},
    {"erase fails: the device is closed, no reboot", Flow::kProgram, {1, 2}, "no-reply:1003:1",
     {WithContactLine("Error Erase Flash!\nPlease contact QEL AG!\n"), kRunFailed}, {1}, 0, 1,
     DeviceResult::kFailed, protocol::kErrPortIo, true, ROW_FAILED,
     "Programming failed for Main FPGA! Incomplete, program again: Main FPGA.", kOnlyQuit, false},
    {"a failed write marks the row and the run goes on", Flow::kProgram, {1, 2, 4},
     "no-reply:1103:1", {}, {1, 2, 4}, 3, 1, DeviceResult::kFailed, protocol::kErrPortIo, true,
     ROW_FAILED,
     std::string("Programming failed for Main FPGA! Incomplete, program again: Main FPGA. ") +
         kLoadOrSelect,
     kRunAgain, true},
    {"close fails: written but not known to be kept", Flow::kProgram, {0, 1, 2, 3, 4},
     "no-reply:0003:1", {kCannotClose}, {0}, 0, 0, DeviceResult::kFailed, protocol::kErrPortIo,
     true, ROW_FAILED, "Programming failed for Main µP! Incomplete, program again: Main µP.",
     kOnlyQuit, true},
    {"the camera does not come back", Flow::kProgram, {0, 1, 2, 3, 4}, "no-answer-after-reboot",
     {kRunFailed}, {0}, 1, 1, DeviceResult::kNotRun, 0, false, ROW_IDLE,
     "Connection to Camera lost, select other port or close programmer",
     {kIdQuit, kIdSelectPort}, false},
    {"backup: a device that does not open twice", Flow::kBackup, {2, 3}, "no-reply:7203:2",
     {kBackupOpenFailed}, {2, 2}, 0, 2, DeviceResult::kFailed, protocol::kErrPortIo, false,
     ROW_FAILED, "Error in Backup", kAfterBackup, false},
    {"backup: close fails", Flow::kBackup, {2, 3}, "no-reply:0003:1", {kCannotClose}, {2}, 0, 2,
     DeviceResult::kRead, 0, false, ROW_DONE, "Error in Backup", kAfterBackup, false},
    {"backup: the camera does not come back", Flow::kBackup, {2, 3}, "no-answer-after-reboot", {},
     {2}, 1, 3, DeviceResult::kNotRun, 0, false, ROW_IDLE, "Error in Backup", kAfterBackup, false},
};

void PrintTo(const LoopCase& c, std::ostream* out) { *out << c.name; }

class DeviceLoop : public ::testing::TestWithParam<LoopCase> {};

TEST_P(DeviceLoop, AFailureEndsTheRunAsItsKindDemands) {
    const LoopCase& c = GetParam();
    Rig r;
    r.camera.fault(c.fault);
    tools::TempFolder folder;
    if (c.flow == Flow::kProgram) {
        r.program(newerFile(), c.rows);
    } else {
        r.startConnected({.packetMode = kPacketDevice});
        for (int row = 0; row < kRowCount; ++row)
            r.dialog.CheckDevice(row, c.rows.count(row) != 0);
        r.host.saveFiles.push_back(folder.path("backup.qup"));
        r.camera.commands.clear();
        r.dialog.RunWithHooks({&r, {}}, [&] { r.dialog.OnPacket(); });
        EXPECT_FALSE(r.dialog.PacketFileWritten());
        EXPECT_FALSE(files::pathExists(folder.path("backup.qup")));
    }
    EXPECT_EQ(r.host.texts(), c.boxes);
    EXPECT_EQ(r.camera.opened(), c.opened);  // every attempt
    EXPECT_EQ(r.camera.reboots, c.reboots);
    const DeviceOutcome& outcome = r.dialog.DeviceResults()[size_t(c.row)];
    EXPECT_EQ(outcome.result, c.result);
    EXPECT_EQ(outcome.error, c.error);
    EXPECT_EQ(outcome.incomplete, c.incomplete);
    EXPECT_EQ(r.dialog.Model().rowState[size_t(c.row)], c.rowState);
    EXPECT_EQ(r.status(), c.status);
    EXPECT_EQ(r.enabled(false), c.enabled);
    EXPECT_EQ(r.results, std::vector<bool>{c.runResult});
    EXPECT_EQ(r.host.guardsTaken, 1);
    EXPECT_EQ(r.host.guardsHeld, 0);
    EXPECT_EQ(r.host.boxesWhileGuarded, 0) << "the machine is let go before a failure is shown";
    const std::string fault = c.fault;
    if (c.flow == Flow::kProgram && fault == "no-reply:1003:1") {
        EXPECT_EQ(r.camera.commands.back(), cmd::CLOSE_DEVICE) << "no device left open";
    }
    if (c.flow == Flow::kProgram && fault == "no-reply:0003:1") {
        EXPECT_EQ(r.dialog.Model().caption(currentFwId(0)), protocol::kNoVersionText);
    }
    if (c.flow == Flow::kProgram && fault == "no-answer-after-reboot") {
        EXPECT_FALSE(r.dialog.VersionsReadAfterRun());
    }
}

INSTANTIATE_TEST_SUITE_P(Failures, DeviceLoop, ::testing::ValuesIn(kLoopCases),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

// No pause of a flow keeps the windows waiting for more than one wait cycle: between two pumps
// at most 100 ms of (virtual) time pass, from the flow's start to its end. A plain sleep in a
// flow shows here as a longer stretch.
TEST(FlowPauses, TheWindowsAreServedAtLeastEveryWaitCycle) {
    const struct {
        const char* name;
        std::function<void(Rig&, const tools::TempFolder&)> flow;
    } flows[] = {
        {"a programming run of every device", [](Rig& r, const tools::TempFolder&) {
             r.program(newerFile());
         }},
        {"a backup of two devices", [](Rig& r, const tools::TempFolder& folder) {
             r.startConnected({.packetMode = kPacketDevice});
             for (int row = 0; row < kRowCount; ++row)
                 r.dialog.CheckDevice(row, row == 0 || row == 2);
             r.host.saveFiles.push_back(folder.path("backup.qup"));
             r.dialog.RunWithHooks({&r, {}}, [&] { r.dialog.OnPacket(); });
             EXPECT_TRUE(r.dialog.PacketFileWritten());
         }},
        {"quit", [](Rig& r, const tools::TempFolder&) {
             r.startConnected();
             r.dialog.OnQuit();
             EXPECT_TRUE(r.dialog.Model().ended);
         }},
    };
    for (const auto& f : flows) {
        SCOPED_TRACE(f.name);
        Rig r;
        tools::TempFolder folder;
        platform::Milliseconds last{0}, longest{0};
        const auto stretch = [&] {
            longest = std::max(longest, r.host.virtualClock.now() - last);
            last = r.host.virtualClock.now();
        };
        r.host.onPump = stretch;
        f.flow(r, folder);
        stretch();
        EXPECT_GT(r.host.virtualClock.totalSlept(), platform::Milliseconds(0));
        EXPECT_LE(longest, platform::Milliseconds(100));
    }
}

// The lines of the stand-in logind's log from line `from` on, once they are `count` (it notes a
// released lock when it sees the descriptor close, a moment after the close).
Texts logindLines(const char* path, size_t from, size_t count) {
    Texts lines;
    for (int tries = 0; tries < 100; ++tries) {
        lines.clear();
        std::ifstream log(path);
        for (std::string line; std::getline(log, line);) lines.push_back(line);
        if (lines.size() >= from + count) break;
        platform::realClock().sleepFor(platform::Milliseconds(20));
    }
    return lines.size() < from ? Texts{} : Texts(lines.begin() + long(from), lines.end());
}

// The machine is held from the first device on and let go when the run ends, however it ends.
// Under the private bus of run_guard_bus.sh (KF_LOGIND_LOG names its stand-in logind's log) the
// system's own hold is taken too, and logind sees it taken once and released.
TEST(RunGuard, HeldThroughTheRunAndLetGoOnEveryEnd) {
    const char* logind = std::getenv("KF_LOGIND_LOG");
    const Texts kTakenAndReleased{
        "Inhibit what=sleep:shutdown:idle who=kelvoflash why=kelvoflash is writing the camera's "
        "firmware. Do not switch off. mode=block",
        "released"};
    const struct {
        const char* name;
        const char* fault;
        bool stopAfterFirst, throwInWait;
        Texts boxes;
        std::vector<int> opened;
    } cases[] = {
        {"completed", "", false, false, {}, {1, 2}},
        {"the EEPROM does not open", "no-reply:7203:3", false, false, {kOpenFailed, kRunFailed},
         {1, 2, 2, 2}},
        {"stopped at the safe point", "", true, false, {}, {1}},
        {"a wait throws", "", false, true, {}, {1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r;
        r.host.systemGuard = logind != nullptr;
        const size_t logged = logind ? logindLines(logind, 0, 0).size() : 0;
        if (*c.fault) r.camera.fault(c.fault);
        r.stop = [&] { return c.stopAfterFirst && !r.camera.opened().empty(); };
        int waits = 0, waitsHeld = 0;
        r.host.onPump = [&] {
            if (!r.dialog.Model().windowTitle.ends_with("SWITCH OFF!!")) return;  // not the run's
            ++waits;
            waitsHeld += r.host.guardsHeld;
            if (logind && waits == 1) {
                EXPECT_EQ(logindLines(logind, logged, 1), Texts{kTakenAndReleased[0]});
            }
            if (c.throwInWait && waits == 3) throw std::runtime_error("window gone");
        };
        try {
            r.program(newerFile(), {1, 2});
            EXPECT_FALSE(c.throwInWait);
        } catch (const std::runtime_error& error) {
            EXPECT_TRUE(c.throwInWait) << error.what();
        }
        EXPECT_EQ(r.host.texts(), c.boxes);
        EXPECT_EQ(r.camera.opened(), c.opened);
        EXPECT_EQ(r.host.guardsTaken, 1);
        EXPECT_EQ(r.host.guardsHeld, 0);
        EXPECT_GT(waits, 0);
        EXPECT_EQ(waitsHeld, waits) << "every wait of the run is held";
        if (logind) {
            EXPECT_EQ(logindLines(logind, logged, 2), kTakenAndReleased);
        }
    }
}

// Without a hold the run goes on; why there is none is said once on stderr, however many runs
// follow. Each case runs two programming runs in a fresh process (the bus library keeps the bus
// address it read first).
TEST(RunGuard, WithoutTheHoldTheRunGoesOnAndSaysWhyOnce) {
    const char* logind = std::getenv("KF_LOGIND_LOG");
    if (logind == nullptr) GTEST_SKIP() << "needs the buses of run_guard_bus.sh";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string said = "^Sleep and shutdown are not held off while the camera is written: ";
    const struct {
        const char* name;
        std::string bus;
        std::string stderrText;  // all of it, as a pattern
    } cases[] = {
        {"no system bus", "unix:path=/nonexistent/bus", said + "no system bus\\.\n$"},
        {"no logind on the bus", std::getenv("KF_EMPTY_BUS"),
         said + "no logind on the system bus\\.\n$"},
        {"logind refuses", std::getenv("DBUS_SYSTEM_BUS_ADDRESS"),
         said + "Refused by the site's policy\\.\n$"},
    };
    std::ofstream(std::string(logind) + ".refuse").put('\n');  // only the stand-in reads it
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        setenv("DBUS_SYSTEM_BUS_ADDRESS", c.bus.c_str(), 1);
        const auto twoRuns = [] {
            bool programmed = true;
            for (int run = 0; run < 2; ++run) {
                Rig r;
                r.host.systemGuard = true;
                r.program(newerFile(), {2});
                programmed = programmed && r.results == std::vector<bool>{true} &&
                             r.dialog.Model().rowState[2] == ROW_DONE;
            }
            std::fflush(nullptr);
            _exit(programmed ? 0 : 1);
        };
        EXPECT_EXIT(twoRuns(), ::testing::ExitedWithCode(0), c.stderrText);
    }
    std::remove((std::string(logind) + ".refuse").c_str());
}

}  // namespace

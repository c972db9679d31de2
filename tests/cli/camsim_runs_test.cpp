// kelvoflash-cli against camsim, a camera with every device at variant 4 V01.00: each scenario
// starts its own camera and runs the program a few times, checking the exit status and the lines
// of its output and messages, and at the end what the camera's flash holds. Runs that program a
// device take real time (about 16 s each for the camera's reboot). Signals: the first one lets the
// device being written finish and the camera reboot, a second one stops at once.

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>

#include "camsim_fixture.h"
#include "cli_run.h"
#include "programmer/files/update_file_reader.h"
#include "programmer/files/update_file_writer.h"
#include "tests/tessiport/test_support.h"

namespace {

using clitest::contains;

// One run of the program. In texts, {port} stands for "--port <camsim's terminal>", {new} and
// {old} for update files of every device at V01.01 and V00.09, {dir} for the test's folder.
struct Step {
    std::string args{};
    std::string environment{};  // assignments before the program's name
    int status = 0;
    std::vector<std::string> outHas{}, errHas{}, outLacks{};
    std::optional<std::string> errIs{};   // all of standard error
    std::vector<std::string> errAnyOf{};  // one of these is in standard error
    std::string waitFor{};                // in standard output before the signals are sent
    std::vector<int> signals{};           // 100 ms apart
    bool closedOutput = false;            // standard output is a pipe nobody reads
    void (*prepare)(const tools::TempFolder&) = nullptr;
};

struct Scenario {
    const char* name = "";
    std::vector<std::string> camsim{};  // options beside the devices' versions
    std::vector<Step> steps{};
    std::vector<int> flashHoldsNewImage{};  // rows, checked once camsim saved its flash
    int erasedRow = -1;                   // starts erased: the camera does not report it
};

void PrintTo(const Scenario& s, std::ostream* out) { *out << s.name; }

// The camera still reports what it started with.
const Step kUntouched{.args = "info {port}",
                      .outHas = {"  Main \u00b5P    004 V01.00\n  Main FPGA  004 V01.00\n  EEPROM"
                                 "     004 V01.00\n  PLL        004 V01.00\n  Head FPGA  004 "
                                 "V01.00\n"}};

// changed.qup: the PLL backup with the bytes at 0x64 and 0x70 of its image changed.
void changeTwoBytes(const tools::TempFolder& folder) {
    std::vector<uint8_t> bytes;
    ASSERT_EQ(files::readWholeFile(folder.path("pll.qup"), bytes), 0);
    const files::UpdateFileReadResult file = files::readUpdateFile(bytes.data(), bytes.size());
    ASSERT_TRUE(file.ok());
    const files::UpdateFileDevice& pll = file.devices[3];
    std::vector<uint8_t> image(bytes.begin() + long(pll.dataOffset),
                               bytes.begin() + long(pll.dataOffset + pll.header.dataLength));
    image[0x64] ^= 0x01;
    image[0x70] ^= 0x80;
    files::UpdateFileWriter writer;
    ASSERT_EQ(writer.addRecord(3, 0, pll.header.version, image.data(), uint32_t(image.size())), 0u);
    ASSERT_EQ(writer.finish(bytes), 0u);
    ASSERT_EQ(files::writeFileSafely(folder.path("changed.qup"), bytes), 0);
}

const std::string kOlder = ": the camera has 004 V01.00, the file the older 004 V00.09; "
                           "--emergency programs an older version.\n";
const std::string kNoBackup = "no backup is written and {dir}/backup.qup stays as it was. Press "
                              "Ctrl-C again to stop at once.\n";
const std::string kPlan = "\"dryRun\":true,\"erase\":true,\"event\":\"plan\",\"firstAddress\":";

const Scenario kScenarios[] = {
    // Over Camera Link too: the real libtessiport.so binds libclsersim on camsim's socket; the
    // camera starts at 19200 and the programmer has to find it. Updates over it are tested in
    // tests/camera and tests/gui.
    {.name = "InfoAsTextAndJsonOverComAndCamLink",
     .camsim = {"--serial", "4321", "--firmware", "3:7:2.05", "--camlink-port", "0", "--cl-baud",
                "19200"},
     .steps = {{.args = "info --port 0",  // the first COM port, found through QEL_COM1
                .outHas = {"Serial number: 4321\nCamera type: 0x0400\nBoot mode: no\n",
                           "  KM4MAIN  13, 1\n", "  Main \u00b5P    004 V01.00\n",
                           "  PLL        007 V02.05\n"},
                .errIs = ""},
               {.args = "info --json {port}",
                .outHas = {"\"cameraInfo\": true", "\"serialNumber\": 4321", "\"messages\": []",
                           "\"board\": \"KM4MAIN\"", "\"firmware\": \"007 V02.05\"",
                           "\"versionMinor\": 5"}},
               // With no COM port to fall back on: only the Camera Link road reaches the camera.
               {.args = "info --interface camlink --grabber clsersim --port 0",
                .environment = "QEL_COM1=/nonexistent/port",
                .outHas = {"Main FPGA  004 V01.00"}}}},
    {.name = "ProgramDryRunAndRefusedLoadsWriteNothing",
     .steps = {{.args = "program --dry-run {new} {port}",
                .outHas = {"Would program PLL: 004 V01.00 -> 004 V01.01, 164 bytes at 0x00000000-"
                           "0x000000A3, 1 of 1 blocks written, erased first\n",
                           "Would program EEPROM: 004 V01.00 -> 004 V01.01, 448 bytes at "
                           "0x00000000-0x000001BF, 2 of 2 blocks written, not erased\n",
                           "Dry run: nothing was written.",
                           // The devices' bytes at the line's rate (the Main uP read back), and
                           // five reboots.
                           "Estimated duration: about 8:19 (5 device(s) written at 57600 baud, and "
                           "the camera's reboot of about 16 s after each).\n"}},
               // The Main uP's image starts at 0x8000 of its flash and is read back; blank blocks
               // of an FPGA image are not written.
               {.args = "program --dry-run --json --devices main-up,head-fpga {new} {port}",
                .outHas = {"{\"blocks\":3840,\"blocksWritten\":3840,\"bytes\":983018,\"device\":"
                           "\"Main \u00b5P\"," + kPlan + "\"0x80008000\",\"from\":\"004 V01.00\","
                           "\"lastAddress\":\"0x800F7FE9\",\"readBack\":true,\"row\":0,\"to\":"
                           "\"004 V01.01\"}\n{\"blocks\":256,\"blocksWritten\":224,\"bytes\":65536,"
                           "\"device\":\"Head FPGA\"," + kPlan + "\"0x00000000\",\"from\":\"004 "
                           "V01.00\",\"lastAddress\":\"0x0000FFFF\",\"readBack\":true,\"row\":4,"
                           "\"to\":\"004 V01.01\"}\n"},
                .outLacks = {"\"device\":\"PLL\""}},
               // Refused loads end with the load's message and status 1; a run nobody confirmed is
               // not started. Names outside ASCII come back as they were given.
               {.args = "program --yes {old} {port}", .status = 1,
                .errIs = "{old} is not signed.\nFirmware version too old!\n"
                         "Firmware downgrade is not allowed.\nMain "
                         "\u00b5P" + kOlder + "Main FPGA" + kOlder + "EEPROM" + kOlder + "PLL" +
                         kOlder + "Head FPGA" + kOlder},
               {.args = "program --yes '{dir}/missing-\u00fctf\u540d.qup' {port}", .status = 1,
                .errHas = {"Can't open file {dir}/missing-\u00fctf\u540d.qup, error = 2\n"}},
               {.args = "program {new} {port}", .status = 1, .errHas = {"Programming cancelled."}},
               kUntouched}},
    // An interrupted run leaves an erased FPGA so: not written, and never a success.
    {.name = "ProgramUnreportedDeviceFailsWithTheCommandThatProgramsIt",
     .steps = {{.args = "program --yes --devices main-fpga {new} {port}", .status = 1,
                .outHas = {"  Main FPGA: FAILED (error 0x80003013), the camera did not report it "
                           "when its turn came, the camera reports --- V--.--\n",
                           "To program what the camera did not report anyway: kelvoflash-cli "
                           "program {new} {port} --emergency --devices main-fpga\n"},
                .errHas = {"Main FPGA: the camera does not report this device now"}},
               {.args = "program --yes --json --devices main-fpga {new} {port}", .status = 1,
                .outHas = {"{\"event\":\"finished\",\"result\":false}"},
                .outLacks = {"\"result\":true"}}},
     .erasedRow = 1},
    // Standard output is no terminal: plain progress lines.
    {.name = "ProgramOneDeviceThenOneIntoAClosedOutput",
     .steps = {{.args = "program --yes --devices pll {new} {port}",
                .outHas = {"PLL: started, device 1 of 1, 0:00 elapsed, 0:01 left, run 0:17 left\n"
                           "PLL: erasing\nPLL: writing\n",
                           "PLL: 100%\nPLL: done\nPLL: rebooting the camera (about 16 s)\n",
                           "  PLL: written, not read back, the camera reports 004 V01.01"},
                .outLacks = {"Main FPGA:"}},
               // Standard output is a pipe nobody reads: the run still programs.
               {.args = "program --yes --devices eeprom {new} {port}", .closedOutput = true}},
     .flashHoldsNewImage = {3, 2}},
    // After 20 blocks the camera goes silent and comes back in boot mode: written part-way, the
    // device must be programmed again, and no version read before the run is passed off as the
    // camera's answer.
    {.name = "ProgramPowerLossMidDeviceFails",
     .camsim = {"--fault", "power-loss:1:20"},
     .steps = {{.args = "program --yes --json --devices main-fpga {new} {port}", .status = 1,
                .outHas = {"\"event\":\"failed\"",
                           "\"cameraReports\":null,\"device\":\"Main FPGA\"",
                           "\"incomplete\":true,\"result\":\"failed\"",
                           "{\"commands\":[\"kelvoflash-cli program {new} {port} --devices "
                           "main-fpga\"]",
                           "\"event\":\"summary\",\"ok\":false",
                           "{\"event\":\"finished\",\"result\":false}"},
                .errHas = {"Cannot close device! Programmer quits update!\n"}}}},
    // Names a backup cannot be written to are refused before any device is read.
    {.name = "BackupMatchesTheCameraVerifyFindsAChangedFileAndAStoppedBackupWritesNoFile",
     .steps = {{.args = "backup '' --devices pll {port}", .status = 1,
                .errHas = {"\"\" names no file: give the update file a name.\n"},
                .outLacks = {"PLL: reading"}},
               {.args = "backup '{dir}/\u00fctf\u540d/' --devices pll {port}", .status = 1,
                .errHas = {"\"{dir}/\u00fctf\u540d/\" names no file"},
                .outLacks = {"PLL: reading"}},
               {.args = "backup '{dir}/n\u00f6dir\u540d/pll.qup' --devices pll {port}", .status = 1,
                .errHas = {"Can't open file {dir}/n\u00f6dir\u540d/pll.qup, error = 2\n"},
                .outLacks = {"PLL: reading"}},
               {.args = "backup {dir}/pll.qup --devices pll {port}",
                .outHas = {"PLL: started\nPLL: reading\n", "PLL: done\n",
                           "  PLL: read completely\n",
                           "Creating qel.update file done\n", "Backup written to "}},
               {.args = "verify {dir}/pll.qup {port}", .outHas = {"  PLL: matches the file\n"}},
               // The differing device ends as failed with the read-back mismatch code (its row
               // turns red).
               {.args = "verify --json {dir}/changed.qup {port}", .status = 1,
                .outHas = {"\"error\":\"0x80003011\"", "\"result\":\"differs\"",
                           "\"bytesDiffering\":2,\"device\":\"PLL\",\"firstDifference\":"
                           "\"0x00000064\"",
                           "\"event\":\"summary\",\"ok\":false"},
                .prepare = changeTwoBytes},
               // Reading changes no flash: what a stop costs is the backup file, written only
               // when complete.
               {.args = "backup {dir}/backup.qup --devices pll,head-fpga {port}", .status = 130,
                .outHas = {"  Head FPGA: NOT READ\n", "No backup written; "},
                .errHas = {"Interrupted by SIGINT: stopped at a safe point, the last device read "
                           "was finished and the camera rebooted.\n"},
                .errAnyOf = {"\nInterrupted: PLL is being read; the backup stops once it is read "
                             "and the camera has rebooted; " + kNoBackup,
                             "\nInterrupted: the backup stops once the camera has rebooted; " +
                                 kNoBackup},
                .waitFor = "PLL: reading", .signals = {SIGINT}},
               {.args = "inspect {dir}/backup.qup", .status = 1,
                .outHas = {"Can't open file {dir}/backup.qup"}}}},
    // A small EEPROM may be written before the signal lands: then it is finished already. The
    // camera, read again after its reboot, reports the file's version for it.
    {.name = "ProgramFirstSignalStopsOnceTheDeviceIsFinishedASecondAtOnce",
     .steps = {{.args = "program --yes --devices eeprom,pll {new} {port}", .status = 130,
                .outHas = {"EEPROM: done\nEEPROM: rebooting the camera (about 16 s)\n",
                           "  PLL: NOT PROGRAMMED, the run was stopped before it",
                           "To program the devices the stopped run did not reach: kelvoflash-cli "
                           "program {new} {port} --devices pll\n",
                           "  EEPROM: written, not read back, the camera reports 004 V01.01\n"},
                .errHas = {"Interrupted by SIGINT: stopped at a safe point"},
                .outLacks = {"PLL: started"},
                .errAnyOf = {"\nInterrupted: EEPROM is being written; stopping now would leave it "
                             "incomplete. The run stops once EEPROM is finished and the camera has "
                             "rebooted. Press Ctrl-C again to stop at once.\n",
                             "\nInterrupted: EEPROM is finished; the run stops once the camera has "
                             "rebooted. Press Ctrl-C again to stop at once.\n"},
                .waitFor = "EEPROM: writing", .signals = {SIGINT}},
               // The Main uP's image is the largest and read back block by block: still being
               // written when both signals land.
               {.args = "program --yes --json --devices main-up {new} {port}", .status = 143,
                .outHas = {"{\"command\":\"kelvoflash-cli program {new} {port} --devices main-up\","
                           "\"event\":\"interrupted\",\"immediate\":true,\"incomplete\":\"Main "
                           "\u00b5P\"}\n"},
                .errHas = {"\nStopped at once: Main \u00b5P is INCOMPLETE and must be programmed "
                           "again: kelvoflash-cli program {new} {port} --devices main-up\n"},
                .outLacks = {"\"event\":\"summary\""},
                .waitFor = "\"phase\":\"write\"", .signals = {SIGTERM, SIGTERM}}}},
};

class CliCamsim : public testsupport::CamsimFixture,
                  public ::testing::WithParamInterface<Scenario> {
protected:
    void SetUp() override {
        CamsimFixture::SetUp();
        writeSample("new.qup", 1, 1);
        writeSample("old.qup", 0, 9);
        setenv("QEL_DATA_DIR", work.path("data").c_str(), 1);
    }
    void TearDown() override {
        CamsimFixture::TearDown();
        unsetenv("QEL_DATA_DIR");
        unsetenv("CLSERSIM_PORT0");
    }
    std::string expand(std::string text) const {
        for (const auto& [name, value] :
             {std::pair<std::string, std::string>{"{port}", "--port " + camsim.portPath()},
              {"{new}", work.path("new.qup")},
              {"{old}", work.path("old.qup")},
              {"{dir}", work.path()}})
            for (size_t at; (at = text.find(name)) != std::string::npos;)
                text.replace(at, name.size(), value);
        return text;
    }
    void runStep(const Step& step) {
        if (step.prepare) step.prepare(work);
        const std::string out = step.closedOutput ? "" : work.path("out"), err = work.path("err");
        std::remove(work.path("out").c_str());  // a step waits for its own output, not the last's
        const pid_t pid = clitest::startCli(expand(step.args), out, err, step.environment);
        for (int i = 0; !step.waitFor.empty() && !contains(libtest::readText(out), step.waitFor);
             ++i, std::this_thread::sleep_for(std::chrono::milliseconds(100)))
            ASSERT_LT(i, 600) << "no " << step.waitFor << " within 60 s";
        for (int signal : step.signals) {
            kill(pid, signal);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        const clitest::CliRun run = clitest::finishCli(pid, out, err);
        EXPECT_EQ(run.status, step.status);
        for (const std::string& text : step.outHas)
            EXPECT_TRUE(contains(run.out, expand(text))) << run.out;
        for (const std::string& text : step.outLacks)
            EXPECT_FALSE(contains(run.out, text)) << run.out;
        for (const std::string& text : step.errHas)
            EXPECT_TRUE(contains(run.err, expand(text))) << run.err;
        EXPECT_EQ(step.errIs ? run.err : "", step.errIs ? expand(*step.errIs) : "");
        bool anyOf = step.errAnyOf.empty();
        for (const std::string& text : step.errAnyOf)
            anyOf = anyOf || contains(run.err, expand(text));
        EXPECT_TRUE(anyOf) << run.err;
    }
};

TEST_P(CliCamsim, RunsAsExpected) {
    const Scenario& scenario = GetParam();
    std::vector<std::string> options;
    for (int row = 0; row < 5; ++row)
        if (row != scenario.erasedRow)
            options.insert(options.end(), {"--firmware", std::to_string(row) + ":4:1.00"});
    options.insert(options.end(), scenario.camsim.begin(), scenario.camsim.end());
    startCamsim(options);
    if (!camsim.camlinkAddress().empty())
        setenv("CLSERSIM_PORT0", camsim.camlinkAddress().c_str(), 1);
    for (const Step& step : scenario.steps) {
        SCOPED_TRACE(step.args);
        runStep(step);
    }
    camsim.stop();
    for (int row : scenario.flashHoldsNewImage) EXPECT_TRUE(flashHoldsNewImage(row)) << row;
}

INSTANTIATE_TEST_SUITE_P(Camsim, CliCamsim, ::testing::ValuesIn(kScenarios),
                         [](const auto& info) { return std::string(info.param.name); });

// The redrawn pieces of a terminal's output ("\r\033[K" starts each) with their widths in
// characters; plain lines (the plan, the summary) are not redrawn and are left out.
std::vector<std::pair<std::string, size_t>> pieces(const std::string& text) {
    std::vector<std::pair<std::string, size_t>> found;
    for (size_t start = 0, end; start <= text.size(); start = end + 1) {
        end = std::min(text.find_first_of("\r\n", start), text.size());
        std::string piece = text.substr(start, end - start);
        if (piece.rfind("\033[K", 0) != 0) continue;
        for (size_t at; (at = piece.find("\033[K")) != std::string::npos;) piece.erase(at, 3);
        size_t width = 0;
        for (const unsigned char c : piece) width += (c & 0xC0) != 0x80;
        found.emplace_back(piece, width);
    }
    return found;
}

// Every command that reads or writes a device draws its bars within a terminal of 40 columns,
// and within 30 once it shrinks during the camera's reboot.
TEST_F(CliCamsim, BarsFitANarrowTerminalAndFollowItsResize) {
    startCamsim(everyDeviceAt(4, "1.00"));
    for (const char* arguments : {"program --yes --devices pll {new}",
                                         "backup --yes --devices pll {dir}/pll.qup",
                                         "verify {dir}/pll.qup"}) {
        SCOPED_TRACE(arguments);
        winsize size{};
        size.ws_col = 40;
        size.ws_row = 24;
        int master = -1;
        const std::string command = "exec " + std::string(KF_BINARY_DIR) + "/bin/kelvoflash-cli " +
                                    expand(arguments + std::string(" {port}")) + " 2>/dev/null";
        const pid_t cli = forkpty(&master, nullptr, nullptr, &size);
        if (cli == 0) {
            execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        std::string before, after;
        bool resized = false;
        char buffer[4096];
        for (pollfd entry{master, POLLIN, 0}; poll(&entry, 1, 60000) > 0;) {
            const ssize_t got = read(master, buffer, sizeof buffer);
            if (got <= 0) break;
            (resized ? after : before).append(buffer, size_t(got));
            if (!resized && contains(before, "Waiting for Camera boot")) {
                size.ws_col = 30;
                ioctl(master, TIOCSWINSZ, &size);
                resized = true;
            }
        }
        int status = -1;
        waitpid(cli, &status, 0);
        EXPECT_EQ(status, 0);
        close(master);
        EXPECT_TRUE(contains(before, "PLL")) << before;
        for (const auto& [piece, width] : pieces(before)) EXPECT_LE(width, 39u) << piece;
        ASSERT_TRUE(resized) << before;
        // The reboot wait, redrawn at the new width (the first piece may have been drawn just
        // before the resize).
        int countdowns = 0;
        for (const auto& [piece, width] : pieces(after)) {
            EXPECT_LE(width, 39u) << piece;
            if (contains(piece, "Waiting for") && countdowns++ > 0) {
                EXPECT_LE(width, 29u) << piece;
            }
        }
        EXPECT_GT(countdowns, 3) << after;
    }
}

}  // namespace

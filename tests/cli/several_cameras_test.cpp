// kelvoflash-cli with several --port options against several camsims, each camera at variant 4
// V01.00 unless its scenario says otherwise: every camera runs in a child of its own, so one
// camera's power loss or refusal leaves the others to finish; the merged output, the per-camera
// records of --report, logs and backups, Ctrl-C, refusals before anything is sent, and the
// terminal's lines. Runs that program a device wait out the camera's reboot in real time.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <fstream>
#include <memory>
#include <thread>

#include <nlohmann/json.hpp>

#include "camsim_fixture.h"
#include "cli_run.h"
#include "programmer/files/sha256.h"
#include "tests/tessiport/test_support.h"

namespace {

using clitest::contains;
using nlohmann::json;

constexpr int kCameras = 3;

// One run of the program. {p0} {p1} {p2} stand for the cameras' terminals, {new} for an update
// file of every device at V01.01, {dir} for the test's folder.
struct Step {
    std::string args;
    std::string environment{};  // assignments before the program's name
    int status = 0;
    std::vector<std::string> outHas{}, errHas{}, outLacks{};
    std::optional<std::string> errIs{};
    std::vector<std::string> waitFor{};  // in standard output before the signal is sent
    int interrupts = 0;                  // SIGINTs 100 ms apart, once everything in waitFor came
    bool jsonLines = false;              // every line of standard output an event with both
                                         // "port" and "serial"
    std::vector<std::string> filesMade{};
    std::vector<std::string> filesNotMade{};
    // Per camera, the record --report holds: its result of the one device, or "" for no record.
    std::vector<std::string> records{};
    int stoppedRecords = 0;  // records of cameras stopped at once (status 130) in stopped.jsonl
};

struct Scenario {
    const char* name = "";
    std::array<std::vector<std::string>, kCameras> camsim{};  // each camera's extra options
    std::vector<Step> steps{};
};

void PrintTo(const Scenario& s, std::ostream* out) {
    *out << s.name;
}

const std::vector<std::string> kForeign = {"--firmware", "0:5:1.00", "--firmware", "1:5:1.00",
                                           "--firmware", "2:5:1.00", "--firmware", "3:5:1.00",
                                           "--firmware", "4:5:1.00"};

const Scenario kScenarios[] = {
    // The second camera loses its power after one of the EEPROM's two blocks, the third has
    // another variant: the first is updated and verifies, the others fail on their own.
    {.name = "PowerLossAndForeignVariantLeaveTheOtherCameraToFinish",
     .camsim = {{{}, {"--fault", "power-loss:2:1"}, kForeign}},
     .steps = {{.args = "program --yes --devices eeprom --report {dir}/report.jsonl {new} "
                        "--port {p0} --port {p1} --port {p2}",
                .status = 1,
                .outHas = {"[{p0}] camera serial 1000, type 0x0400\n",
                           "[{p0}] Summary: ok: EEPROM updated (004 V01.01)\n",
                           "[{p1}] Summary: FAILED: EEPROM failed\n",
                           "[{p1}] To finish this camera: kelvoflash-cli program {new} --port "
                           "{p1} --devices eeprom\n",
                           "1 of 3 cameras succeeded; failed: [{p1}] serial 1001 (exit status 1), "
                           "[{p2}] serial 1002 (exit status 1).\n"},
                .errHas = {"[{p1}] Cannot close device! Programmer quits update!\n",
                           "[{p2}] EEPROM: the camera has variant 005 (005 V01.00), the file "
                           "variant 004 (004 V01.01); --emergency accepts another variant.\n"},
                .outLacks = {"[{p2}] EEPROM: started"},
                .records = {"updated", "failed", "refused"}},
               {.args = "verify --devices eeprom {new} --port {p0}",
                .outHas = {"  EEPROM: matches the file\n"}}}},
    // Two options that lead to one device are refused before any camera is opened: no record, no
    // log, nothing on standard output.
    {.name = "SameDeviceTwiceIsRefusedBeforeAnythingIsSent",
     .steps = {{.args = "program --yes --log --report {dir}/report.jsonl {new} --port {p0} "
                        "--port {p1} --port {dir}/link0",
                .status = 2,
                .errIs = "kelvoflash-cli: --port {p0} and --port {dir}/link0 lead to the same "
                         "device ({p0}): each camera needs a connection of its own.\n",
                .filesNotMade = {"report.jsonl", "prog_log-1000.txt", "prog_log-1001.txt"}},
               {.args = "backup {dir}/a.qup {dir}/a.qup --port {p0} --port {p1}",
                .status = 2,
                .errIs = "kelvoflash-cli: backup: {dir}/a.qup is named twice: each camera needs "
                         "a file of its own\n"},
               {.args = "backup {dir}/a.qup {dir}/b.qup {dir}/c.qup --port {p0} --port {p1}",
                .status = 2,
                .errIs = "kelvoflash-cli: backup: 3 file names for 2 camera(s): give one name, "
                         "or one per --port\n"},
               {.args = "info --port {p0} --port {p1} --interface camlink --port 2",
                .status = 2,
                .errIs = "kelvoflash-cli: --port {p0}: --port PATH needs --interface com\n"}}},
    // Every event of the merged JSON carries the camera's port and serial number; a dry run shows
    // each camera's plan; backups and logs are named by serial number.
    {.name = "JsonDryRunBackupsAndLogsPerCamera",
     .steps =
         {// A device path reaches its camera whatever $QEL_COM1 says, one camera or several.
          {.args = "info --port {p1}",
           .environment = "QEL_COM1=/nonexistent/port",
           .outHas = {"Serial number: 1001\n"}},
          {.args = "info --port {p0} --port {p1}",
           .environment = "QEL_COM1=/nonexistent/port",
           .outHas = {"[{p0}] camera serial 1000, type 0x0400\n",
                      "[{p1}] camera serial 1001, type 0x0400\n", "All 2 cameras succeeded.\n"}},
          {.args = "info --json --port {p0} --port {p1}",
           .outHas = {"\"event\":\"camera\",\"port\":\"{p0}\",\"serial\":1000,",
                      "\"event\":\"cameraInfo\",",
                      "\"port\":\"{p1}\",\"serial\":1001,\"serialNumber\":1001,",
                      "{\"cameras\":[{\"exitStatus\":0,\"ok\":true,\"port\":\"{p0}\","
                      "\"serial\":1000},{\"exitStatus\":0,\"ok\":true,\"port\":\"{p1}\","
                      "\"serial\":1001}],\"event\":\"cameras\",\"ok\":true,\"port\":null,"
                      "\"serial\":null}\n"}},
          {.args = "program --dry-run --json --devices pll {new} --port {p0} --port {p1}",
           .outHas = {"\"event\":\"plan\",\"firstAddress\":\"0x00000000\",\"from\":\"004 "
                      "V01.00\",\"lastAddress\":\"0x000000A3\",\"port\":\"{p1}\",\"readBack\":"
                      "false,\"row\":3,\"serial\":1001,"},
           .jsonLines = true},
          {.args = "program --dry-run --devices pll,eeprom {new} --port {p0} --port {p1} "
                   "--port {p2}",
           .outHas = {"[{p0}] Would program EEPROM: 004 V01.00 -> 004 V01.01\n",
                      "[{p2}] Would program PLL: 004 V01.00 -> 004 V01.01\n",
                      "All 3 cameras succeeded.\n"},
           .outLacks = {"EEPROM: started"}},
          {.args = "backup --log --devices pll {dir}/pll.qup --port {p0} --port {p1}",
           .outHas = {"[{p1}] PLL: done\n", "All 2 cameras succeeded.\n"},
           .filesMade = {"pll-1000.qup", "pll-1001.qup", "prog_log-1000.txt", "prog_log-1001.txt"},
           .filesNotMade = {"pll.qup", "prog_log.txt"}}}},
    // One Ctrl-C: every camera finishes the device it writes, reboots, and stops; each says what
    // finishes it.
    {.name = "CtrlCStopsEveryCameraAtItsSafePoint",
     .steps = {{.args = "program --yes --devices eeprom,pll {new} --port {p0} --port {p1}",
                .status = 130,
                .outHas = {"[{p0}] To finish this camera: kelvoflash-cli program {new} --port {p0} "
                           "--devices pll\n",
                           "[{p1}] To finish this camera: kelvoflash-cli program {new} --port {p1} "
                           "--devices pll\n",
                           "0 of 2 cameras succeeded; failed: [{p0}] serial 1000 (exit status "
                           "130), [{p1}] serial 1001 (exit status 130).\n"},
                .errHas = {"[{p0}] Interrupted by SIGINT: stopped at a safe point",
                           "[{p1}] Interrupted by SIGINT: stopped at a safe point"},
                .outLacks = {"PLL: started"},
                .waitFor = {"[{p0}] EEPROM: started", "[{p1}] EEPROM: started"},
                .interrupts = 1},
               // A second one stops every camera at once: the records come from the command
               // that started them.
               {.args = "program --yes --devices main-up --report {dir}/stopped.jsonl {new} "
                        "--port {p0} --port {p1}",
                .status = 130,
                .outHas = {"[{p0}] stopped; to finish this camera: kelvoflash-cli program {new} "
                           "--port {p0} --devices main-up\n",
                           "[{p1}] To finish this camera: kelvoflash-cli program {new} --port "
                           "{p1} --devices main-up\n"},
                .errHas = {"[{p1}] Stopped at once: Main \u00b5P is INCOMPLETE and must be "
                           "programmed again: kelvoflash-cli program {new} --port {p1} --devices "
                           "main-up\n"},
                .waitFor = {"[{p0}] Main \u00b5P: writing", "[{p1}] Main \u00b5P: writing"},
                .interrupts = 2,
                .stoppedRecords = 2}}},
};

class SeveralCameras : public testsupport::CamsimFixture,
                       public ::testing::WithParamInterface<Scenario> {
protected:
    void SetUp() override {
        CamsimFixture::SetUp();
        if (IsSkipped())
            return;
        writeSample("new.qup", 1, 1);
        setenv("QEL_DATA_DIR", work.path("data").c_str(), 1);
    }
    void TearDown() override {
        for (auto& camera : cameras_)
            camera.stop();
        CamsimFixture::TearDown();
        unsetenv("QEL_DATA_DIR");
    }
    void startCameras(const std::array<std::vector<std::string>, kCameras>& extra) {
        for (int i = 0; i < kCameras; ++i) {
            std::vector<std::string> options = quickCamera(states_[size_t(i)].path());
            options.insert(options.end(), {"--serial", std::to_string(1000 + i)});
            if (extra[size_t(i)].empty() || extra[size_t(i)][0] != "--firmware")
                for (int row = 0; row < 5; ++row)
                    options.insert(options.end(), {"--firmware", std::to_string(row) + ":4:1.00"});
            options.insert(options.end(), extra[size_t(i)].begin(), extra[size_t(i)].end());
            ASSERT_TRUE(cameras_[size_t(i)].start(camsimBinary, options));
        }
        ASSERT_EQ(symlink(cameras_[0].portPath().c_str(), work.path("link0").c_str()), 0);
    }
    std::string expand(std::string text) const {
        for (const auto& [name, value] :
             {std::pair<std::string, std::string>{"{p0}", cameras_[0].portPath()},
              {"{p1}", cameras_[1].portPath()},
              {"{p2}", cameras_[2].portPath()},
              {"{new}", work.path("new.qup")},
              {"{dir}", work.path()}})
            for (size_t at; (at = text.find(name)) != std::string::npos;)
                text.replace(at, name.size(), value);
        return text;
    }
    void checkRecords(const std::vector<std::string>& results) {
        std::ifstream file(work.path("report.jsonl"));
        std::vector<json> records;
        for (std::string line; std::getline(file, line);)
            records.push_back(json::parse(line));
        ASSERT_EQ(records.size(), results.size());
        struct stat info {};
        ASSERT_EQ(stat(work.path("report.jsonl").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0077, 0666 & ~currentMask() & 0077);
        for (size_t i = 0; i < results.size(); ++i) {
            SCOPED_TRACE(i);
            const auto record = std::find_if(records.begin(), records.end(), [&](const json& r) {
                return r["port"] == cameras_[i].portPath();
            });
            ASSERT_NE(record, records.end());
            EXPECT_EQ((*record)["serial"], 1000 + int(i));
            EXPECT_EQ((*record)["type"], "0x0400");
            EXPECT_EQ((*record)["command"], "program");
            EXPECT_EQ((*record)["file"], work.path("new.qup"));
            EXPECT_EQ((*record)["sha256"], files::sha256OfFile(work.path("new.qup")));
            EXPECT_EQ((*record)["exitStatus"], results[i] == "updated" ? 0 : 1);
            EXPECT_FALSE((*record)["host"].get<std::string>().empty());
            EXPECT_EQ((*record)["time"].get<std::string>().size(), 20u);
            const json& devices = (*record)["devices"];
            const auto eeprom = std::find_if(devices.begin(), devices.end(),
                                             [](const json& d) { return d["device"] == "EEPROM"; });
            ASSERT_NE(eeprom, devices.end());
            EXPECT_EQ((*eeprom)["result"], results[i]);
            EXPECT_EQ((*eeprom)["before"], i == 2 ? "005 V01.00" : "004 V01.00");
            EXPECT_EQ((*eeprom)["after"], i == 0 ? json("004 V01.01") : json());
        }
    }
    static mode_t currentMask() {
        const mode_t mask = umask(0);
        umask(mask);
        return mask;
    }
    void runStep(const Step& step) {
        const std::string out = work.path("out"), err = work.path("err");
        std::remove(out.c_str());
        const pid_t pid = clitest::startCli(expand(step.args), out, err, step.environment);
        for (const std::string& text : step.waitFor)
            for (int i = 0; !contains(libtest::readText(out), expand(text));
                 ++i, std::this_thread::sleep_for(std::chrono::milliseconds(100)))
                ASSERT_LT(i, 600) << "no " << text << " within 60 s";
        for (int i = 0; i < step.interrupts; ++i) {
            kill(pid, SIGINT);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        const clitest::CliRun run = clitest::finishCli(pid, out, err);
        EXPECT_EQ(run.status, step.status);
        for (const std::string& text : step.outHas)
            EXPECT_TRUE(contains(run.out, expand(text))) << expand(text) << "\n---\n" << run.out;
        for (const std::string& text : step.outLacks)
            EXPECT_FALSE(contains(run.out, expand(text))) << run.out;
        for (const std::string& text : step.errHas)
            EXPECT_TRUE(contains(run.err, expand(text))) << expand(text) << "\n---\n" << run.err;
        if (step.errIs) {
            EXPECT_EQ(run.err, expand(*step.errIs));
            EXPECT_EQ(run.out, "");
        }
        if (step.jsonLines) {
            size_t lines = 0;
            for (size_t start = 0, end; start < run.out.size(); start = end + 1, ++lines) {
                end = run.out.find('\n', start);
                const json event = json::parse(run.out.substr(start, end - start), nullptr, false);
                EXPECT_TRUE(event.contains("event") && event.contains("port") &&
                            event.contains("serial"))
                    << run.out.substr(start, end - start);
            }
            EXPECT_GT(lines, 6u);
        }
        for (const std::string& name : step.filesMade)
            EXPECT_EQ(access(work.path(name).c_str(), F_OK), 0) << name;
        for (const std::string& name : step.filesNotMade)
            EXPECT_NE(access(work.path(name).c_str(), F_OK), 0) << name;
        if (!step.records.empty())
            checkRecords(step.records);
        if (step.stoppedRecords > 0) {
            std::ifstream file(work.path("stopped.jsonl"));
            int count = 0;
            for (std::string line; std::getline(file, line); ++count) {
                const json record = json::parse(line);
                EXPECT_EQ(record["exitStatus"], 130);
                EXPECT_EQ(record["command"], "program");
                EXPECT_EQ(record["sha256"], files::sha256OfFile(work.path("new.qup")));
                EXPECT_TRUE(record["serial"] == 1000 || record["serial"] == 1001) << line;
                EXPECT_EQ(record["devices"][0]["before"], "004 V01.00") << line;
            }
            EXPECT_EQ(count, step.stoppedRecords);
        }
    }

    std::array<tools::TempFolder, kCameras> states_;
    std::array<tools::CamsimProcess, kCameras> cameras_;
};

TEST_P(SeveralCameras, RunsAsExpected) {
    const Scenario& scenario = GetParam();
    startCameras(scenario.camsim);
    // Logs go where --log writes them: the current folder.
    const std::string before = std::filesystem::current_path();
    std::filesystem::current_path(work.path());
    for (const Step& step : scenario.steps) {
        SCOPED_TRACE(step.args);
        runStep(step);
    }
    std::filesystem::current_path(before);
}

INSTANTIATE_TEST_SUITE_P(Camsim, SeveralCameras, ::testing::ValuesIn(kScenarios),
                         [](const auto& info) { return std::string(info.param.name); });

// On a terminal of 60 columns each camera's line is redrawn in place and never wraps.
TEST_F(SeveralCameras, TerminalLinesFitSixtyColumns) {
    startCameras({});
    winsize size{};
    size.ws_col = 60;
    size.ws_row = 24;
    int master = -1;
    const std::string command = "exec " + std::string(KF_BINARY_DIR) + "/bin/kelvoflash-cli " +
                                expand(
                                    "program --yes --devices pll {new} --port {p0} --port "
                                    "{p1} --port {p2}") +
                                " 2>/dev/null";
    const pid_t cli = forkpty(&master, nullptr, nullptr, &size);
    if (cli == 0) {
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    std::string output;
    char buffer[4096];
    for (pollfd entry{master, POLLIN, 0}; poll(&entry, 1, 60000) > 0;) {
        const ssize_t got = read(master, buffer, sizeof buffer);
        if (got <= 0)
            break;
        output.append(buffer, size_t(got));
    }
    int status = -1;
    waitpid(cli, &status, 0);
    close(master);
    EXPECT_EQ(status, 0);
    // The lines drawn in place start with "erase line"; their text without the escapes.
    int drawn = 0, bars = 0;
    for (size_t start = 0, end; start < output.size(); start = end + 1) {
        end = std::min(output.find('\n', start), output.size());
        std::string line = output.substr(start, end - start);
        const size_t erase = line.rfind("\033[2K");
        if (erase == std::string::npos)
            continue;
        line.erase(0, erase + 4);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        size_t width = 0;
        for (const unsigned char c : line)
            width += (c & 0xC0) != 0x80;
        EXPECT_LE(width, 59u) << line;
        ++drawn;
        bars += contains(line, "] ") && contains(line, "% ") ? 1 : 0;
        EXPECT_TRUE(contains(line, cameras_[0].portPath() + " ") ||
                    contains(line, cameras_[1].portPath() + " ") ||
                    contains(line, cameras_[2].portPath() + " "))
            << line;
    }
    EXPECT_GT(drawn, 6) << output;
    EXPECT_TRUE(contains(output, "All 3 cameras succeeded.")) << output;
}

}  // namespace

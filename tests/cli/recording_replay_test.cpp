// Recordings made by kelvoflash-cli --record against camsim fault runs, played back by camsim
// --replay to the same programmer: the same result and exit status, over the COM port and over
// Camera Link. Also: a recording cut off mid-line, blocks played in another order, a garbled
// line, the transcript, and the recordings kept in recordings/ replayed against the current
// programmer (a change to the telegrams of a flow shows up there as a divergence, with its place).
//
// KF_KEEP_RECORDINGS=DIR copies each new recording to DIR (how recordings/ was made).

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "cli_run.h"
#include "protocol/recording/recording_line.h"
#include "protocol/recording/telegram_text.h"
#include "programmer/files/file_io.h"
#include "tools/camsim_process.h"
#include "tools/sample_update.h"
#include "tools/temp_folder.h"

namespace {

using namespace std::chrono_literals;
using clitest::contains;

const std::string kCamsim = std::string(KF_BINARY_DIR) + "/bin/camsim";
const std::string kKept = std::string(KF_SOURCE_DIR) + "/tests/cli/recordings/";

struct Scenario {
    const char* name;
    bool camLink;
    std::vector<std::string> faults;
    int status;           // of the programmer
    const char* devices;  // what it programs
};

// Each programs a camera at 004 V01.00 with the small sample at V01.01: the Main FPGA (a few
// blocks, erased, written and read back) or the PLL (one block).
const Scenario kScenarios[] = {
    {"PowerLossMidDeviceOverCom", false, {"--fault", "power-loss:1:1"}, 1, "main-fpga"},
    {"PowerLossMidDeviceOverCamLink", true, {"--fault", "power-loss:1:1"}, 1, "main-fpga"},
    {"ReadBackMismatchOverCom", false, {"--fault", "readback-mismatch:1"}, 1, "main-fpga"},
    {"ReadBackMismatchOverCamLink", true, {"--fault", "readback-mismatch:1"}, 1, "main-fpga"},
    {"LateRebootOverCom", false, {"--boot-time", "16500"}, 0, "pll"},
    {"LateRebootOverCamLink", true, {"--boot-time", "4000"}, 0, "pll"},
    {"RateChangeOverCamLink", true, {"--cl-baud", "19200"}, 0, "pll"},
};
// A good run over Camera Link whose recording the last test cuts, reorders and garbles.
const Scenario kGoodRun = {"GoodRunOverCamLink", true, {}, 0, "main-fpga"};

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// One scenario's folder: the update file, camsim's state, the programmer's data folder.
struct Bench {
    tools::TempFolder folder;
    std::string sample = folder.path("new.qup");

    Bench() {
        tools::SampleSettings settings{1, 1, 4, {true, true, true, true, true}, 1024, 2048, 1024};
        std::vector<uint8_t> bytes;
        EXPECT_EQ(tools::buildSampleUpdateFile(settings, bytes), 0u);
        EXPECT_EQ(files::writeFileSafely(sample, bytes), 0);
    }

    // Starts camsim: a camera with every device at 004 V01.00 and `options`; its messages go to
    // `messages` when one is named.
    bool start(tools::CamsimProcess& camsim, const Scenario& s, std::vector<std::string> options,
               const std::string& messages = "") {
        std::filesystem::remove_all(folder.path("state"));
        options.insert(options.end(), {"--state", folder.path("state"), "--erase-time", "10"});
        if (std::find(s.faults.begin(), s.faults.end(), "--boot-time") == s.faults.end())
            options.insert(options.end(), {"--boot-time", "200"});
        for (int row = 0; row < 5; ++row)
            options.insert(options.end(), {"--firmware", std::to_string(row) + ":4:1.00"});
        if (s.camLink) options.insert(options.end(), {"--camlink-port", "0"});
        if (messages.empty()) return camsim.start(kCamsim, options);
        options.insert(options.begin(), {"-c", "exec \"$0\" \"$@\" 2>" + messages, kCamsim});
        return camsim.start("/bin/sh", options);
    }

    // Runs the scenario's programming run against `camsim`; the port path is replaced by PORT in
    // what it prints, so runs on different camsims compare.
    clitest::CliRun program(const tools::CamsimProcess& camsim, const Scenario& s,
                            const std::string& extra = "") {
        const std::string connection =
            s.camLink ? "--interface camlink --grabber clsersim --port 0"
                      : "--port " + camsim.portPath();
        const std::string environment = "QEL_DATA_DIR=" + folder.path("data") +
                                        " CLSERSIM_PORT0=" + camsim.camlinkAddress();
        clitest::CliRun run = clitest::finishCli(
            clitest::startCli("program --yes --devices " + std::string(s.devices) + " " + sample +
                                  " " + connection + " " + extra,
                              folder.path("out"), folder.path("err"), environment),
            folder.path("out"), folder.path("err"));
        for (std::string* text : {&run.out, &run.err})
            for (size_t at; !camsim.portPath().empty() &&
                            (at = text->find(camsim.portPath())) != std::string::npos;)
                text->replace(at, camsim.portPath().size(), "PORT");
        return run;
    }

    // Plays `recording` back to the scenario's run: the run, camsim's exit status and messages.
    struct Replay {
        clitest::CliRun run;
        std::optional<int> camsimStatus;
        std::string camsimSaid;
    };
    Replay replay(const Scenario& s, const std::string& recording) {
        tools::CamsimProcess camsim;
        Replay r;
        const std::string said = folder.path("camsim.err");
        if (!start(camsim, s, {"--replay", recording, "--replay-fast"}, said)) {
            r.camsimStatus = camsim.waitForExit(5s);
            r.camsimSaid = readText(said);
            return r;
        }
        r.run = program(camsim, s);
        r.camsimStatus = camsim.closeStdinAndWait(5s);
        r.camsimSaid = readText(said);
        return r;
    }
};

void recordThenReplay(const Scenario& s) {
    SCOPED_TRACE(s.name);
    Bench bench;
    const std::string recording = bench.folder.path(std::string(s.name) + ".jsonl.gz");
    clitest::CliRun original;
    {
        tools::CamsimProcess camsim;
        ASSERT_TRUE(bench.start(camsim, s, s.faults));
        original = bench.program(camsim, s, "--record " + recording);
    }
    EXPECT_EQ(original.status, s.status) << original.err;
    const Bench::Replay replayed = bench.replay(s, recording);
    EXPECT_EQ(replayed.run.status, original.status);
    EXPECT_EQ(replayed.run.err, original.err);
    EXPECT_EQ(replayed.camsimStatus, 0) << replayed.camsimSaid;
    EXPECT_TRUE(contains(replayed.camsimSaid, "camsim: replay ran to its end: ")) << replayed.camsimSaid;
    if (const char* keep = getenv("KF_KEEP_RECORDINGS"))
        std::filesystem::copy_file(recording, std::string(keep) + "/" + s.name + ".jsonl.gz",
                                   std::filesystem::copy_options::overwrite_existing);
}

}  // namespace

// One after the other: side by side, a loaded machine answers the COM open's "verbose 0\r" late
// enough to be taken for the reply to the next command.
TEST(RecordingReplay, EachFaultRunReplaysToTheSameResultOverComAndCamLink) {
    for (const Scenario& s : kScenarios) recordThenReplay(s);
}

TEST(RecordingReplay, KeptRecordingsReplayAgainstTheCurrentProgrammer) {
    for (const Scenario& s : kScenarios) {
        SCOPED_TRACE(s.name);
        const std::string kept = kKept + s.name + ".jsonl.gz";
        Bench bench;
        const Bench::Replay replayed = bench.replay(s, kept);
        EXPECT_EQ(replayed.run.status, s.status) << replayed.run.err;
        // A divergence says where: event, line and both telegrams.
        EXPECT_EQ(replayed.camsimStatus, 0) << replayed.camsimSaid;
    }
}

// From one recording of a good run over COM: cut off mid-line, two blocks swapped, a line
// garbled; and its transcript.
TEST(RecordingReplay, CutReorderedAndGarbledRecordings) {
    const Scenario& s = kGoodRun;
    Bench bench;
    const std::string recording = bench.folder.path("good.jsonl");
    {
        tools::CamsimProcess camsim;
        ASSERT_TRUE(bench.start(camsim, s, s.faults));
        ASSERT_EQ(bench.program(camsim, s, "--record " + recording).status, 0);
    }
    const std::string text = readText(recording);
    std::vector<std::string> lines;
    for (size_t at = 0, end; at < text.size(); at = end + 1) {
        end = text.find('\n', at);
        lines.push_back(text.substr(at, end - at));
    }
    // The first two WRITE_BLOCK telegrams ("0311" on the wire), each with its reply, decoded.
    std::vector<size_t> writes;
    for (size_t i = 0; i < lines.size(); ++i)
        if (contains(lines[i], "\"ev\":\"tx\"") && contains(lines[i], "\"bytes\":\"0311"))
            writes.push_back(i);
    ASSERT_GE(writes.size(), 2u);
    std::string block[2];
    for (int i = 0; i < 2; ++i) {
        recording::Event event;
        std::string error;
        ASSERT_TRUE(recording::parseLine(lines[writes[size_t(i)]], event, error)) << error;
        block[i] = recording::describeTelegram(event.bytes);
    }

    const struct {
        const char* name;
        std::string recording;
        int camsimStatus;
        std::vector<std::string> said;
    } cases[] = {
        // Killed in the middle of the second block's line: replayed up to the line before.
        {"cut", text.substr(0, text.find(lines[writes[1]]) + 40), 4,
         {"(the recording was cut off); replaying up to its last whole event\n",
          "camsim: replay diverged after the last recorded event: received " + block[1] + "\n"}},
        {"swapped", [&] {
             std::vector<std::string> l = lines;
             std::swap(l[writes[0]], l[writes[1]]);
             std::swap(l[writes[0] + 1], l[writes[1] + 1]);
             std::string joined;
             for (size_t i = 0; i + 1 < l.size(); ++i) joined += l[i] + "\n";
             return joined;
         }(),
         4,
         {"camsim: replay diverged at event " + std::to_string(writes[0]) + " (line " +
          std::to_string(writes[0] + 1) + "): expected " + block[1] + ", received " + block[0] +
          "\n"}},
        {"garbled", [&] {
             std::string g = text;
             g.replace(g.find(lines[4]), lines[4].size(), "{\"ev\":\"tx\",\"ms\":12,\"bytes\":1}");
             return g;
         }(),
         1, {"line 5: \"bytes\" is not a text\n"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = bench.folder.path(std::string(c.name) + ".jsonl");
        writeText(path, c.recording);
        const Bench::Replay replayed = bench.replay(s, path);
        EXPECT_EQ(replayed.camsimStatus, c.camsimStatus) << replayed.camsimSaid;
        for (const std::string& said : c.said)
            EXPECT_TRUE(contains(replayed.camsimSaid, said)) << replayed.camsimSaid;
        // The programmer finds no camera where the replay stopped; with no replay, none at all.
        EXPECT_EQ(replayed.run.status, c.camsimStatus == 1 ? -1 : 1) << replayed.run.err;
    }
    // The garbled file is refused by inspect too; the good one reads as a transcript.
    const clitest::CliRun garbled = clitest::runCli("inspect " + bench.folder.path("garbled.jsonl"));
    EXPECT_EQ(garbled.status, 1);
    EXPECT_EQ(garbled.err, "kelvoflash-cli: " + bench.folder.path("garbled.jsonl") +
                               " line 5: \"bytes\" is not a text\n");
    const clitest::CliRun shown = clitest::runCli("inspect " + recording);
    EXPECT_EQ(shown.status, 0) << shown.err;
    const std::vector<std::string> parts = {
        "Recording by kelvoflash-cli ",
        "Interface: camlink port 0, grabber library clsersim, rates 9600\n",
        "  rate 115200  0x00000000 (done)\n", "->  OPEN_MAIN_FPGA length 13\n",
        "->  " + block[0] + "\n", "  reboot\n", "Devices touched: Main FPGA\n", "Failures: "};
    for (const std::string& part : parts)
        EXPECT_TRUE(contains(shown.out, part)) << part << "\n" << shown.out;
}

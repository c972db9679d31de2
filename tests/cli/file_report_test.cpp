// kelvoflash-cli inspect: verdicts, texts and exit status; arguments no command takes.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cli_run.h"
#include "tests/files/sample_files.h"

namespace {

using clitest::contains;
using clitest::runCli;
using nlohmann::json;

class FileReport : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(files_test::writeFile(good, files_test::workedExampleFile()));
        std::vector<uint8_t> bytes = files_test::workedExampleFile();
        bytes[64] = 0x11;  // first data byte
        ASSERT_TRUE(files_test::writeFile(corrupt, bytes));
    }

    files_test::TempFolder folder;
    std::string good = folder.path("good.qup");
    std::string corrupt = folder.path("corrupt.qup");
};

TEST_F(FileReport, ValidUpdateFile) {
    clitest::CliRun run = runCli("inspect " + good);
    EXPECT_EQ(run.status, 0);
    for (const char* line :
         {"Tag: valid\n",
          "Record at 0x00000020: device 2 (EEPROM), dataLength 3, startOffset 0x00000000, version "
          "004 V03.02, time stamp 2008-06-05 10:20",
          "Checksum: stored 0x00001805, computed 0x00001805\n", "Verdict: valid\n"})
        EXPECT_TRUE(contains(run.out, line)) << run.out;

    run = runCli("inspect --json " + good);
    EXPECT_EQ(run.status, 0);
    const json report = json::parse(run.out);
    EXPECT_TRUE(report["valid"].get<bool>());
    ASSERT_EQ(report["records"].size(), 1u);
    EXPECT_EQ(report["records"][0]["device"], "EEPROM");
    EXPECT_EQ(report["records"][0]["fileOffset"], 32);
    EXPECT_EQ(report["checksumStored"], 0x1805);
}

TEST_F(FileReport, AnEmptyImageIsWarnedAbout) {
    // The worked example with its EEPROM record cut to no data and the end record's sum fixed.
    const std::vector<uint8_t> example = files_test::workedExampleFile();
    std::vector<uint8_t> bytes(96);
    std::copy(example.begin(), example.begin() + 64, bytes.begin());
    std::copy(example.end() - 32, example.end(), bytes.begin() + 64);
    std::fill(bytes.begin() + 32, bytes.begin() + 36, 0);
    uint32_t sum = 0;
    for (size_t i = 32; i < 64; ++i)
        sum += bytes[i];
    for (size_t i = 0; i < 4; ++i)
        bytes[64 + i] = uint8_t(sum >> (8 * i));
    const std::string empty = folder.path("empty.qup");
    ASSERT_TRUE(files_test::writeFile(empty, bytes));
    const clitest::CliRun run = runCli("inspect " + empty);
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_TRUE(contains(run.out,
                         "Warning: EEPROM: the image is empty (dataLength 0); program refuses it\n"))
        << run.out;
}

TEST_F(FileReport, CorruptUpdateFile) {
    clitest::CliRun run = runCli("inspect " + corrupt);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.out, "computed 0x00001815")) << run.out;
    EXPECT_TRUE(contains(run.out, "Verdict: refused: File is corrupt")) << run.out;

    run = runCli("inspect " + corrupt + " --json");
    EXPECT_EQ(run.status, 1);
    const json report = json::parse(run.out);
    EXPECT_FALSE(report["valid"].get<bool>());
    EXPECT_EQ(report["message"], "File is corrupt\n");
    EXPECT_EQ(report["checksumComputed"], 0x1815);
}

TEST_F(FileReport, RefusedDeviceFile) {
    const std::string rom = folder.path("pll_1_V1_0.rom");
    ASSERT_TRUE(files_test::writeFile(rom, std::string("0:1\n\n")));
    const clitest::CliRun run = runCli("inspect " + rom);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.out, "Result: 0x80000004 ERR_FILE_FORMAT\n")) << run.out;
    EXPECT_TRUE(contains(run.out, "Verdict: refused: File has unknown format\n"));
}

// Wrong arguments are usage errors: status 2, nothing on standard output.
TEST(Usage, WrongArgumentsEndWithStatus2) {
    const struct {
        const char* arguments;
        const char* err;  // its first line
    } cases[] = {
        {"inspect", "FILE is required"},
        {"inspect x.qup --unknown", "The following argument was not expected: --unknown"},
        {"x.qup --json", "kelvoflash-cli: unknown subcommand 'x.qup' (see kelvoflash-cli --help)"},
        {"info --port 9", "--port: expected a port index 0-8 or a device path"},
        {"info --yes --no", "--yes excludes --no"},
        {"program x.qup --interface camlink --grabber a_grabber_lib_20.dll",
         "kelvoflash-cli: --grabber: Framegrabber library name a_grabber_lib_20.dll is too long: "
         "at most 19 characters."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const clitest::CliRun run = runCli(c.arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.substr(0, run.err.find('\n')), c.err);
    }
}

}  // namespace

// kelvoflash-cli inspect: verdicts, texts and exit status.

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

TEST_F(FileReport, RefusedDeviceFileAndUsageErrors) {
    const std::string rom = folder.path("pll_1_V1_0.rom");
    ASSERT_TRUE(files_test::writeFile(rom, std::string("0:1\n\n")));
    const clitest::CliRun run = runCli("inspect " + rom);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.out, "Result: 0x80000004 ERR_FILE_FORMAT\n")) << run.out;
    EXPECT_TRUE(contains(run.out, "Verdict: refused: File has unknown format\n"));
    for (const std::string& arguments :
         {std::string("inspect"), "inspect " + good + " --unknown", corrupt + " --json"})
        EXPECT_EQ(runCli(arguments).status, 2) << arguments;
}

}  // namespace

// kelvoflash-cli inspect, run as the real program: verdicts, texts and exit status.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "tests/files/sample_files.h"

namespace {

struct CliRun {
    int status = -1;
    std::string out;
};

CliRun runCli(const std::string& arguments) {
    const std::string command =
        std::string(KF_BINARY_DIR) + "/bin/kelvoflash-cli " + arguments + " 2>/dev/null";
    CliRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return run;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.out.append(buffer, got);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class FileReport : public ::testing::Test {
protected:
    files_test::TempFolder folder;
    std::string good = folder.path("good.qup");
    std::string corrupt = folder.path("corrupt.qup");

    void SetUp() override {
        ASSERT_TRUE(files_test::writeFile(good, files_test::workedExampleFile()));
        std::vector<uint8_t> bytes = files_test::workedExampleFile();
        bytes[64] = 0x11;  // first data byte
        ASSERT_TRUE(files_test::writeFile(corrupt, bytes));
    }
};

}  // namespace

TEST_F(FileReport, ValidUpdateFile) {
    CliRun run = runCli("inspect " + good);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("Tag: valid\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Record at 0x00000020: device 2 (EEPROM), dataLength 3, startOffset "
                           "0x00000000, version 004 V03.02, time stamp 2008-06-05 10:20"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("Checksum: stored 0x00001805, computed 0x00001805\n"),
              std::string::npos);
    EXPECT_NE(run.out.find("Verdict: valid\n"), std::string::npos);

    run = runCli("inspect --json " + good);
    EXPECT_EQ(run.status, 0);
    const auto report = nlohmann::json::parse(run.out);
    EXPECT_TRUE(report["valid"].get<bool>());
    ASSERT_EQ(report["records"].size(), 1u);
    EXPECT_EQ(report["records"][0]["device"], "EEPROM");
    EXPECT_EQ(report["records"][0]["fileOffset"], 32);
    EXPECT_EQ(report["checksumStored"], 0x1805);
}

TEST_F(FileReport, CorruptUpdateFile) {
    CliRun run = runCli("inspect " + corrupt);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("computed 0x00001815"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Verdict: refused: File is corrupt"), std::string::npos) << run.out;

    run = runCli(corrupt + " --json");  // no subcommand
    EXPECT_EQ(run.status, 2);
    run = runCli("inspect " + corrupt + " --json");
    EXPECT_EQ(run.status, 1);
    const auto report = nlohmann::json::parse(run.out);
    EXPECT_FALSE(report["valid"].get<bool>());
    EXPECT_EQ(report["message"], "File is corrupt\n");
    EXPECT_EQ(report["checksumComputed"], 0x1815);
}

TEST_F(FileReport, DeviceFilesAndUsage) {
    const std::string hex = folder.path("main_004_V03_02.hex");
    ASSERT_TRUE(files_test::writeFile(
        hex, files_test::hexRecord(0, 0x20, {1, 2}) + files_test::hexEndRecord()));
    CliRun run = runCli("inspect --json " + hex);
    EXPECT_EQ(run.status, 0);
    auto report = nlohmann::json::parse(run.out);
    EXPECT_EQ(report["version"], "004 V03.02");
    EXPECT_EQ(report["lowestOffset"], 0x20);
    EXPECT_EQ(report["length"], 2);

    const std::string rom = folder.path("pll_1_V1_0.rom");
    ASSERT_TRUE(files_test::writeFile(rom, std::string("0:1\n\n")));
    run = runCli("inspect " + rom);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("Result: 0x80000004 ERR_FILE_FORMAT\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Verdict: refused: File has unknown format\n"), std::string::npos);

    EXPECT_EQ(runCli("inspect").status, 2);
    EXPECT_EQ(runCli("inspect " + hex + " --unknown").status, 2);
    EXPECT_EQ(runCli("").status, 2);
}

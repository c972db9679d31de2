// kelvoflash-cli program up to the point of writing: dry runs, refused loads, the confirmation.

#include <nlohmann/json.hpp>

#include "cli_camera.h"

namespace {

using clitest::contains;
using clitest::runCli;
using nlohmann::json;

class Program : public clitest::CliCamera {
protected:
    std::vector<std::string> cameraVersions() {
        const clitest::CliRun run = runCli("info --json " + port());
        EXPECT_EQ(run.status, 0) << run.err;
        std::vector<std::string> versions;
        const json info = json::parse(run.out);
        for (const json& device : info["devices"])
            versions.push_back(device["firmware"]);
        return versions;
    }
    const std::vector<std::string> untouched = std::vector<std::string>(5, "004 V01.00");
};

TEST_F(Program, DryRunShowsWhatWouldBeWrittenAndWritesNothing) {
    ASSERT_TRUE(startCamsim());
    const std::string file = sample("new.qup", 1, 1);
    clitest::CliRun run = runCli("program --dry-run " + file + " " + port());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(contains(run.out,
                         "Would program PLL: 004 V01.00 -> 004 V01.01, 164 bytes at "
                         "0x00000000-0x000000A3, 1 of 1 blocks written, erased first\n"))
        << run.out;
    EXPECT_TRUE(contains(run.out,
                         "Would program EEPROM: 004 V01.00 -> 004 V01.01, 448 bytes at "
                         "0x00000000-0x000001BF, 2 of 2 blocks written, not erased\n"));
    EXPECT_TRUE(contains(run.out, "Dry run: nothing was written."));
    // The bytes of the five devices at the line's rate (the Main uP read back), and five reboots.
    EXPECT_TRUE(contains(run.out, "Estimated duration: about 8:19 (5 device(s) written at 57600 "
                                  "baud, and the camera's reboot of about 16 s after each).\n"))
        << run.out;

    run = runCli("program --dry-run --json --devices main-up,head-fpga " + file + " " + port());
    EXPECT_EQ(run.status, 0);
    std::vector<json> plans;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);)
        if (json event = json::parse(line); event["event"] == "plan")
            plans.push_back(event);
    ASSERT_EQ(plans.size(), 2u) << run.out;
    // The Main uP's image starts at 0x8000 of its flash at 0x80000000 and is read back.
    EXPECT_EQ(plans[0]["firstAddress"], "0x80008000");
    EXPECT_TRUE(plans[0]["readBack"].get<bool>());
    // Blank blocks of an FPGA image are not written.
    EXPECT_EQ(plans[1]["device"], "Head FPGA");
    EXPECT_LT(plans[1]["blocksWritten"].get<int>(), plans[1]["blocks"].get<int>());
    EXPECT_EQ(cameraVersions(), untouched);
}

// Refused loads end with the load's message and status 1; a run nobody confirmed is not started.
TEST_F(Program, RefusedLoadsAndUnconfirmedRunsWriteNothing) {
    ASSERT_TRUE(startCamsim());
    clitest::CliRun run = runCli("program --yes " + sample("old.qup", 0, 9) + " " + port());
    EXPECT_EQ(run.status, 1);
    // The load's message, then each device with both versions and the option that overrides (the
    // reasons of every case are in update_policy_test).
    std::string expected = "Firmware version too old!\nFirmware downgrade is not allowed.\n";
    for (const char* device : {"Main \u00b5P", "Main FPGA", "EEPROM", "PLL", "Head FPGA"})
        expected += std::string(device) +
                    ": the camera has 004 V01.00, the file the older 004 V00.09; --emergency "
                    "programs an older version.\n";
    EXPECT_EQ(run.err, expected);

    // A name outside ASCII comes back as it was given.
    const std::string missing = sample("x.qup", 1, 1) + "-ütf名.qup";
    run = runCli("program --yes '" + missing + "' " + port());
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.err, "Can't open file " + missing + ", error = 2\n")) << run.err;

    // Without a terminal or --yes the run is not started.
    run = runCli("program " + sample("new.qup", 1, 1) + " " + port());
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.err, "Programming cancelled.")) << run.err;
    EXPECT_EQ(cameraVersions(), untouched);
}

TEST(ProgramOptions, AGrabberNameTheCameraLinkCannotHoldIsRefused) {
    const clitest::CliRun run =
        runCli("program x.qup --interface camlink --grabber a_grabber_lib_20.dll");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "kelvoflash-cli: --grabber: Framegrabber library name a_grabber_lib_20.dll "
                       "is too long: at most 19 characters.\n");
}

// A device of the file that the camera does not report (an interrupted run leaves an erased FPGA
// so) is not written and is never a success: the summary says why and how to program it.
TEST_F(Program, ADeviceTheCameraDoesNotReportFailsWithTheCommandThatProgramsIt) {
    erasedRow = 1;
    ASSERT_TRUE(startCamsim());
    const std::string file = sample("new.qup", 1, 1);
    clitest::CliRun run = runCli("program --yes --devices main-fpga " + file + " " + port());
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    EXPECT_TRUE(contains(run.out,
                         "  Main FPGA: FAILED (error 0x80003013), the camera did not report it "
                         "when its turn came, the camera reports --- V--.--\n"))
        << run.out;
    EXPECT_TRUE(contains(run.out, "To program what the camera did not report anyway: "
                                  "kelvoflash-cli program " +
                                      file + " " + port() + " --emergency --devices main-fpga\n"))
        << run.out;
    EXPECT_TRUE(contains(run.err, "Main FPGA: the camera does not report this device now"));

    run = runCli("program --yes --json --devices main-fpga " + file + " " + port());
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.out, "{\"event\":\"finished\",\"result\":false}")) << run.out;
    EXPECT_FALSE(contains(run.out, "\"result\":true")) << run.out;
}

}  // namespace

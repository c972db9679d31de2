// kelvoflash-cli program writing into camsim, in real time (about 16 s per device for the
// camera's reboot): one small device programmed, and one run interrupted by a power loss. A
// camera that does not come back after its reboot is followed in tests/app.

#include <nlohmann/json.hpp>

#include "cli_camera.h"

namespace {

using clitest::contains;
using clitest::runCli;
using nlohmann::json;

class ProgramCamsim : public clitest::CliCamera {};

TEST_F(ProgramCamsim, ProgramsOneDeviceAndTheCameraReportsTheNewVersion) {
    ASSERT_TRUE(startCamsim());
    const std::string file = sample("new.qup", 1, 1);
    const clitest::CliRun run = runCli("program --yes --devices pll " + file + " " + port());
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    // Standard output is no terminal: plain progress lines.
    for (const char* lines : {"PLL: started, device 1 of 1, 0:00 elapsed, 0:01 left, run 0:17 "
                              "left\nPLL: erasing\nPLL: writing\n",
                              "PLL: 100%\nPLL: done\nPLL: rebooting the camera (about 16 s)\n",
                              "  PLL: written, not read back, the camera reports 004 V01.01"})
        EXPECT_TRUE(contains(run.out, lines)) << run.out;
    EXPECT_FALSE(contains(run.out, "Main FPGA:"));

    camsim.stop();
    EXPECT_TRUE(flashHoldsNewImage(3));
}

TEST_F(ProgramCamsim, APowerLossInTheMiddleOfADeviceFails) {
    // After 20 blocks the camera goes silent and comes back in boot mode.
    ASSERT_TRUE(startCamsim({"--fault", "power-loss:1:20"}));
    const clitest::CliRun run = runCli("program --yes --json --devices main-fpga " +
                                       sample("new.qup", 1, 1) + " " + port());
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.err, "Cannot close device! Programmer quits update!\n")) << run.err;
    EXPECT_TRUE(contains(run.out, "\"event\":\"failed\"")) << run.out;
    const json summary = json::parse(run.out.substr(run.out.rfind('\n', run.out.size() - 2) + 1));
    EXPECT_EQ(summary["event"], "summary");
    EXPECT_FALSE(summary["ok"].get<bool>());
    const json& device = summary["devices"][0];
    EXPECT_EQ(device["result"], "failed");
    // Written part-way: whatever the camera says now, the device must be programmed again. The
    // camera did not come back, so no version read before the run is passed off as its answer.
    EXPECT_TRUE(device["incomplete"].get<bool>());
    EXPECT_TRUE(device["cameraReports"].is_null()) << device;
    EXPECT_TRUE(contains(summary["commands"][0].get<std::string>(), "--devices main-fpga"));
    EXPECT_TRUE(contains(run.out, "{\"event\":\"finished\",\"result\":false}")) << run.out;
}

}  // namespace

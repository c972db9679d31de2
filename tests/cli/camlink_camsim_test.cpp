// The road of an update over Camera Link as a technician takes it: kelvoflash-cli loads the real
// libtessiport.so, which binds libclsersim, the simulated frame grabber, on camsim's socket; the
// programmer searches the camera's rate and raises it for the transfers. Real time, about 20 s.

#include "cli_camera.h"

namespace {

using clitest::contains;
using clitest::runCli;

class CamLinkCamsim : public clitest::CliCamera {
protected:
    std::string environment() const {
        return "CLSERSIM_PORT0=" + camsim.camlinkAddress() + " QEL_DATA_DIR=" + files.path("data");
    }
    static constexpr const char* kCamLink = " --interface camlink --grabber clsersim --port 0";
};

TEST_F(CamLinkCamsim, UpdatesEveryDeviceAndTheFlashHoldsTheImages) {
    // The camera starts at 19200: the programmer has to find it.
    ASSERT_TRUE(startCamsim({"--camlink-port", "0", "--cl-baud", "19200"}));
    const clitest::CliRun info = runCli(std::string("info") + kCamLink, environment());
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_TRUE(contains(info.out, "Main FPGA  004 V01.00")) << info.out;

    const clitest::CliRun run =
        runCli("program --yes " + sample("new.qup", 1, 1) + kCamLink, environment());
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    for (const char* line : {"  Main µP: programmed and verified, the camera reports 004 V01.01",
                             "  Head FPGA: programmed and verified, the camera reports 004 V01.01",
                             "  PLL: written, not read back, the camera reports 004 V01.01"})
        EXPECT_TRUE(contains(run.out, line)) << run.out;

    camsim.stop();
    for (int row = 0; row < 5; ++row)
        EXPECT_TRUE(flashHoldsNewImage(row)) << clitest::kStateFiles[row];
}

}  // namespace

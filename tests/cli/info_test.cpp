// kelvoflash-cli info against camsim as text and JSON; no camera and wrong options.

#include <nlohmann/json.hpp>

#include "cli_camera.h"

namespace {

using clitest::contains;
using clitest::runCli;
using nlohmann::json;

class Info : public clitest::CliCamera {};

TEST_F(Info, ShowsTheCameraAsTextAndAsJson) {
    ASSERT_TRUE(startCamsim({"--serial", "4321", "--firmware", "3:7:2.05"}));
    // Port index 0 is the first COM port, found through QEL_COM1.
    clitest::CliRun run = runCli("info --port 0", "QEL_COM1=" + camsim.portPath());
    EXPECT_EQ(run.status, 0) << run.err;
    for (const char* line :
         {"Serial number: 4321\n", "Camera type: 0x0400\n", "Boot mode: no\n", "  KM4MAIN  13, 1\n",
          "  Main µP    004 V01.00\n", "  PLL        007 V02.05\n"})
        EXPECT_TRUE(contains(run.out, line)) << run.out;
    EXPECT_EQ(run.err, "");

    run = runCli("info --json " + port());
    EXPECT_EQ(run.status, 0);
    const json info = json::parse(run.out);
    EXPECT_TRUE(info["cameraInfo"].get<bool>());
    EXPECT_EQ(info["serialNumber"], 4321);
    EXPECT_EQ(info["hardware"][0]["board"], "KM4MAIN");
    ASSERT_EQ(info["devices"].size(), 5u);
    EXPECT_EQ(info["devices"][3]["versionMinor"], 5);
    EXPECT_EQ(info["messages"], json::array());
}

TEST(InfoWithoutCamera, FailsWithTheProgrammersMessageAndWrongOptionsAreUsageErrors) {
    clitest::CliRun run = runCli("info --port /nonexistent/tty");
    EXPECT_EQ(run.status, 1);
    // The cause line names what exists instead (which depends on the machine).
    EXPECT_EQ(run.err.rfind("Cannot connect camera\nChange parameters and try again\nCause: "
                            "/nonexistent/tty does not exist; ",
                            0),
              0u)
        << run.err;
    EXPECT_EQ(run.out, "Camera: not connected\n");

    run = runCli("info --json --port 0", "QEL_COM1=/nonexistent/tty");
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(json::parse(run.out)["connected"].get<bool>());

    for (const char* options : {"--port 9", "--yes --no"}) {
        run = runCli(std::string("info ") + options);
        EXPECT_EQ(run.status, 2) << options;
        EXPECT_EQ(run.out, "") << options;
    }
}

}  // namespace

// kelvoflash-cli info against camsim: what it prints, as text and JSON, and its exit status for
// cameras whose information cannot be read, for no camera, and for wrong options.

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
    for (const char* line : {"Serial number: 4321\n", "Camera type: 0x0400\n", "Boot mode: no\n",
                             "  KM4MAIN  13, 1\n", "  Main \xC2\xB5P    004 V01.00\n",
                             "  PLL        007 V02.05\n"})
        EXPECT_TRUE(contains(run.out, line)) << run.out;
    EXPECT_EQ(run.err, "");

    run = runCli("info --json " + port());
    EXPECT_EQ(run.status, 0);
    const json info = json::parse(run.out);
    EXPECT_TRUE(info["cameraInfo"].get<bool>());
    EXPECT_EQ(info["serialNumber"], 4321);
    EXPECT_EQ(info["hardware"][0]["board"], "KM4MAIN");
    ASSERT_EQ(info["devices"].size(), 5u);
    EXPECT_EQ(info["devices"][3]["variant"], 7);
    EXPECT_EQ(info["devices"][3]["versionMajor"], 2);
    EXPECT_EQ(info["devices"][3]["versionMinor"], 5);
    EXPECT_EQ(info["messages"], json::array());
}

TEST_F(Info, AnIncompatibleBoardFailsAndItsQuestionIsNeverWaitedFor) {
    ASSERT_TRUE(startCamsim({"--hardware", "KM4MAIN:99:1"}));
    clitest::CliRun run = runCli("info --json " + port());
    EXPECT_EQ(run.status, 1);
    json info = json::parse(run.out);
    EXPECT_TRUE(info["connected"].get<bool>());
    EXPECT_FALSE(info["cameraInfo"].get<bool>());
    ASSERT_EQ(info["messages"].size(), 1u);
    EXPECT_TRUE(contains(info["messages"][0], "Device KM4MAIN is incompatible."));

    // In emergency mode the flows ask whether to ignore it: standard input is no terminal, so
    // the answer is No unless --yes gives it.
    run = runCli("info --emergency " + port());
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.err,
                         "Ignore this error [answered No: standard input is not a "
                         "terminal; use --yes or --no]"))
        << run.err;
    run = runCli("info --emergency --yes " + port());
    EXPECT_EQ(run.status, 0) << run.err;
}

TEST_F(Info, ACameraInBootModeHasNoInformation) {
    ASSERT_TRUE(startCamsim({"--boot-mode"}));
    const clitest::CliRun run = runCli("info --json " + port());
    EXPECT_EQ(run.status, 1);
    const json info = json::parse(run.out);
    EXPECT_TRUE(info["bootMode"].get<bool>());
    EXPECT_TRUE(info["serialNumber"].is_null());
    EXPECT_TRUE(contains(info["status"], "Camera found in Boot mode  "));
}

TEST(InfoWithoutCamera, FailsWithTheProgrammersMessage) {
    clitest::CliRun run = runCli("info --port /nonexistent/tty");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Cannot connect camera\nChange parameters and try again\n");
    EXPECT_EQ(run.out, "Camera: not connected\n");

    run = runCli("info --json --port 0", "QEL_COM1=/nonexistent/tty");
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(json::parse(run.out)["connected"].get<bool>());
}

TEST(InfoWithoutCamera, WrongOptionsAreUsageErrors) {
    for (const char* options : {"--port 9", "--port x", "--interface usb", "--yes --no",
                                "--interface camlink --port /dev/ttyS0",
                                "--interface camlink --grabber clser_name_of_twenty.dll"}) {
        const clitest::CliRun run = runCli(std::string("info ") + options);
        EXPECT_EQ(run.status, 2) << options;
        EXPECT_EQ(run.out, "") << options;
    }
}

}  // namespace

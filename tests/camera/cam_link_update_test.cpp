// CComUpdate and CCamLinkUpdate (through tessiport_double) against camsim over a pty.

#include "programmer/camera/cam_link_update.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <fstream>

#include "fake_camera.h"
#include "programmer/camera/com_update.h"
#include "protocol/commands.h"
#include "tools/camsim_process.h"
#include "tools/temp_folder.h"

namespace camera::test {
namespace {

const std::string kCamsim = KF_BINARY_DIR "/bin/camsim";
protocol::NullLogSink nullLog;

TEST(ComCamsimTest, KeepsTheIdentifiedPortReopensAfterAChangeOrAFailureAndFindsBootMode) {
    tools::CamsimProcess first, second, boot;
    ASSERT_TRUE(first.start(kCamsim, {"--serial", "111", "--fault", "no-reply:0x0003:1"}));
    ASSERT_TRUE(second.start(kCamsim, {"--serial", "222"}));
    CComUpdate link(false, nullLog, platform::realClock());
    // No answer to the first identification: the port is not kept.
    setenv("QEL_COM1", first.portPath().c_str(), 1);
    EXPECT_EQ(link.Open(0), protocol::kErrNoCamera);
    EXPECT_EQ(link.port, -1);
    setenv("QEL_COM1", second.portPath().c_str(), 1);
    ASSERT_EQ(link.Open(0), 0u);
    EXPECT_EQ(link.serialNumber, 222u);

    setenv("QEL_COM1", first.portPath().c_str(), 1);
    ASSERT_EQ(link.Open(0), 0u);
    EXPECT_EQ(link.serialNumber, 222u);  // same port number: kept
    setenv("QEL_COM2", first.portPath().c_str(), 1);
    ASSERT_EQ(link.Open(1), 0u);
    EXPECT_EQ(link.serialNumber, 111u);  // another port number: reopened
    EXPECT_EQ(link.port, 2);

    ASSERT_TRUE(boot.start(kCamsim, {"--boot-mode"}));
    setenv("QEL_COM3", boot.portPath().c_str(), 1);
    ASSERT_EQ(link.Open(2), 0u);
    EXPECT_EQ(link.bootMode, 1);
    EXPECT_EQ(link.serialNumber, 0x87654321u);
    EXPECT_EQ(link.linkWord, -1);
}

const std::string kDouble = KF_BINARY_DIR "/testlib/libtessiport.so";
const std::string kDoubleWithoutTransfer = KF_BINARY_DIR "/testlib/libtessiport_no_stp.so";

TEST(CamLinkBindingTest, AMissingLibraryOrExportLeavesCameraLinkUnavailable) {
    platform::VirtualClock clock;
    CCamLinkUpdate missing(false, clock, "/nonexistent/folder/libtessiport.so");
    EXPECT_FALSE(missing.libraryReady());
    EXPECT_EQ(missing.Open(0), protocol::kErrGrabberLibrary);
    uint8_t reply[8] = {};
    const auto request = protocol::simpleRequest(protocol::cmd::GET_CAMERA_TYPE);
    EXPECT_EQ(missing.Command(request.data(), request.size, reply, 8, 100),
              protocol::kErrGrabberLibrary);
    EXPECT_FALSE(CCamLinkUpdate(false, clock, kDoubleWithoutTransfer).libraryReady());
    EXPECT_EQ(dlopen(kDoubleWithoutTransfer.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);  // released
    EXPECT_TRUE(CCamLinkUpdate(false, clock, kDouble).libraryReady());
}

class CamLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TESSIPORT_DOUBLE_CALLS", folder_.path("calls.txt").c_str(), 1);
        unsetenv("TESSIPORT_DOUBLE_REFUSE");
        unsetenv("TESSIPORT_DOUBLE_GRABBERS");
    }
    void startCamera(std::vector<std::string> options) {
        options.insert(options.end(), {"--boot-time", "100"});
        link_.Close();
        camsim_.stop();
        ASSERT_TRUE(camsim_.start(kCamsim, options));
        setenv("QEL_COM1", camsim_.portPath().c_str(), 1);
        forgetCalls();
    }
    std::vector<std::string> calls(const std::string& prefix) {
        std::ifstream file(folder_.path("calls.txt"));
        std::vector<std::string> found;
        for (std::string line; std::getline(file, line);)
            if (line.rfind(prefix, 0) == 0) found.push_back(line);
        return found;
    }
    void forgetCalls() { std::ofstream(folder_.path("calls.txt"), std::ios::trunc); }
    // The Set_Transfer_Parameters calls since the last check were `values`.
    void expectRates(const std::vector<int>& values) {
        std::vector<std::string> lines;
        for (int v : values) lines.push_back("Set_Transfer_Parameters " + std::to_string(v));
        EXPECT_EQ(calls("Set_Transfer_Parameters"), lines);
        forgetCalls();
    }

    platform::VirtualClock clock_;
    tools::TempFolder folder_;
    tools::CamsimProcess camsim_;
    CCamLinkUpdate link_{false, clock_, kDouble};
};

TEST_F(CamLinkTest, OpensWithOrWithoutAGrabberNameAndRaisesTheLinkTo115200) {
    startCamera({"--serial", "777", "--link-word", "1", "--bootloader", "1:1.06", "--firmware",
                 "0:4:5.01"});
    ASSERT_EQ(link_.Open(0), 0u);
    EXPECT_EQ(calls("Open_"), std::vector<std::string>{"Open_Cam 0x9000"});
    expectRates({115200});
    EXPECT_EQ(link_.port, 0x9000);
    EXPECT_EQ(link_.serialNumber, 777u);
    EXPECT_EQ(link_.linkWord, 1);
    EXPECT_EQ(link_.linkBaudRate, 115200u);
    // A new bootloader and main firmware take the Main FPGA at the fast rate.
    EXPECT_EQ(link_.bootloaderVersion, 0x0106);
    EXPECT_EQ(link_.mainVariant, 4);
    EXPECT_EQ(link_.mainVersion, 0x0501);
    EXPECT_EQ(link_.fastFpgaTransfer, 1);
    link_.Close();
    EXPECT_EQ(calls("Close_Cam").size(), 1u);

    forgetCalls();
    setenv("TESSIPORT_DOUBLE_GRABBERS", "clserme4.dll", 1);
    std::strcpy(link_.grabberDll, "clserme4.dll");
    ASSERT_EQ(link_.Open(0), 0u);
    EXPECT_EQ(calls("Open_"), std::vector<std::string>{"Open_Cam_Ext 0xb000 clserme4.dll"});
    std::strcpy(link_.grabberDll, "clsersis.dll");
    EXPECT_EQ(link_.Open(0), protocol::kErrGrabberLibrary);
}

TEST_F(CamLinkTest, SearchesTheBaudRateInItsOrderAndGivesUpAfterEightAttempts) {
    startCamera({"--cl-baud", "57600", "--serial", "42"});
    ASSERT_EQ(link_.Open(0), 0u);
    expectRates({115200, 9600, 19200, 38400, 57600, 115200});
    EXPECT_EQ(link_.serialNumber, 42u);
    EXPECT_EQ(link_.linkBaudRate, 115200u);

    startCamera({"--cl-baud", "1200"});
    EXPECT_EQ(link_.Open(0), protocol::kErrNoCamera);
    EXPECT_EQ(calls("Control_Command 0x0003").size(), 8u);
    expectRates({115200, 9600, 19200, 38400, 57600, 76800, 500000});
    EXPECT_EQ(link_.serialNumber, 0u);
    EXPECT_EQ(link_.port, -1);
    EXPECT_EQ(link_.connected, 0);
}

TEST_F(CamLinkTest, SetBaudRateFallsBackTo38400Then19200) {
    startCamera({});
    ASSERT_EQ(link_.Open(0), 0u);
    link_.SetBaudRate(9600);
    // Last: nothing accepted, the link stays where it was and SetBaudRate still succeeds.
    for (auto [refused, expected, rate] :
         {std::tuple{"115200", std::vector{115200, 38400}, 38400u},
          {"115200,38400", std::vector{115200, 38400, 19200}, 19200u},
          {"115200,38400,19200", std::vector{115200, 38400, 19200}, 19200u}}) {
        setenv("TESSIPORT_DOUBLE_REFUSE", refused, 1);
        forgetCalls();
        EXPECT_EQ(link_.SetBaudRate(115200), 0u);
        expectRates(expected);
        EXPECT_EQ(link_.linkBaudRate, rate) << refused;
    }
}

TEST_F(CamLinkTest, TransfersSlowInBootModeAndOnOldBootloadersForTheFpgaFastOtherwise) {
    startCamera({"--boot-mode"});
    ASSERT_EQ(link_.Open(0), 0u);
    EXPECT_EQ(link_.bootMode, 1);
    EXPECT_EQ(link_.linkBaudRate, 9600u);
    forgetCalls();
    link_.PrepareTransfer(0);
    EXPECT_EQ(link_.transferBaudRate, 9600u);
    expectRates({});

    startCamera({"--bootloader", "1:1.05", "--firmware", "0:4:5.01"});
    ASSERT_EQ(link_.Open(0), 0u);
    EXPECT_EQ(link_.fastFpgaTransfer, 0);
    link_.SetBaudRate(9600);
    forgetCalls();
    EXPECT_EQ(link_.PrepareTransfer(1), 0u);
    EXPECT_EQ(link_.transferBaudRate, 9600u);
    EXPECT_TRUE(calls("Control_Command").empty());
    expectRates({});
    EXPECT_EQ(link_.PrepareTransfer(0), 0u);
    expectRates({115200});
    EXPECT_EQ(link_.transferBaudRate, 115200u);
    EXPECT_EQ(link_.FinishTransfer(0), 0u);
    expectRates({9600});
    EXPECT_EQ(link_.transferBaudRate, 9600u);
}

}  // namespace
}  // namespace camera::test

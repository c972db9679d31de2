// CCamLinkUpdate against the test double of the serial interface library: binding, opening with
// and without a grabber library name, the baud-rate search, the SetBaudRate fallbacks, the
// firmware facts and the transfer speeds. The double reaches camsim over a pty.

#include "programmer/camera/cam_link_update.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <fstream>

#include "camsim_process.h"
#include "protocol/commands.h"

namespace camera::test {
namespace {

const std::string kDouble = std::string(KF_BINARY_DIR) + "/testlib/libtessiport.so";
const std::string kDoubleWithoutTransfer =
    std::string(KF_BINARY_DIR) + "/testlib/libtessiport_no_stp.so";

TEST(CamLinkBindingTest, AMissingLibraryLeavesCameraLinkUnavailable) {
    platform::VirtualClock clock;
    CCamLinkUpdate link(false, clock, "/nonexistent/folder/libtessiport.so");
    EXPECT_FALSE(link.libraryReady());
    EXPECT_EQ(link.Open(0), protocol::kErrGrabberLibrary);
    uint8_t reply[8] = {};
    const auto request = protocol::simpleRequest(protocol::cmd::GET_CAMERA_TYPE);
    EXPECT_EQ(link.Command(request.data(), request.size, reply, 8, 100),
              protocol::kErrGrabberLibrary);
}

TEST(CamLinkBindingTest, AMissingExportReleasesTheLibrary) {
    platform::VirtualClock clock;
    {
        CCamLinkUpdate link(false, clock, kDoubleWithoutTransfer);
        EXPECT_FALSE(link.libraryReady());
        EXPECT_EQ(dlopen(kDoubleWithoutTransfer.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
    }
    CCamLinkUpdate link(false, clock, kDouble);
    EXPECT_TRUE(link.libraryReady());
}

class CamLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!CamsimProcess::available()) GTEST_SKIP() << "camsim not built";
        calls_ = folder_.path() + "/calls.txt";
        setenv("TESSIPORT_DOUBLE_CALLS", calls_.c_str(), 1);
        unsetenv("TESSIPORT_DOUBLE_REFUSE");
        unsetenv("TESSIPORT_DOUBLE_GRABBERS");
    }

    void startCamera(std::vector<std::string> options) {
        options.insert(options.end(), {"--boot-time", "100"});
        ASSERT_TRUE(camsim_.start(options));
        setenv("QEL_COM1", camsim_.portPath().c_str(), 1);
    }

    // The recorded calls that start with `prefix`, in order.
    std::vector<std::string> calls(const std::string& prefix) {
        std::ifstream file(calls_);
        std::vector<std::string> found;
        for (std::string line; std::getline(file, line);)
            if (line.rfind(prefix, 0) == 0) found.push_back(line);
        return found;
    }
    void forgetCalls() { std::ofstream(calls_, std::ios::trunc); }

    static std::vector<std::string> rates(std::initializer_list<int> values) {
        std::vector<std::string> lines;
        for (int v : values) lines.push_back("Set_Transfer_Parameters " + std::to_string(v));
        return lines;
    }

    platform::VirtualClock clock_;
    TempFolder folder_;
    std::string calls_;
    CamsimProcess camsim_;
};

TEST_F(CamLinkTest, OpensWithoutAGrabberNameAndRaisesTheLinkTo115200) {
    startCamera({"--serial", "777", "--link-word", "1"});
    CCamLinkUpdate link(false, clock_, kDouble);
    ASSERT_EQ(link.Open(0), 0u);
    EXPECT_EQ(calls("Open_"), std::vector<std::string>{"Open_Cam 0x9000"});
    EXPECT_EQ(calls("Set_Transfer_Parameters"), rates({115200}));
    EXPECT_EQ(link.interfaceType, 2);
    EXPECT_EQ(link.port, 0x9000);
    EXPECT_EQ(link.serialNumber, 777u);
    EXPECT_EQ(link.connected, 1);
    EXPECT_EQ(link.bootMode, 0);
    EXPECT_EQ(link.linkWord, 1);
    EXPECT_EQ(link.linkBaudRate, 115200u);
    // Every command is preceded by its time-out.
    const auto timeouts = calls("Set_Timeouts");
    ASSERT_FALSE(timeouts.empty());
    EXPECT_EQ(timeouts.front(), "Set_Timeouts 500");

    link.Close();
    EXPECT_EQ(link.handle(), 0u);
    EXPECT_EQ(calls("Close_Cam").size(), 1u);
}

TEST_F(CamLinkTest, PassesTheGrabberLibraryNameAndReportsAnUnknownOne) {
    startCamera({});
    setenv("TESSIPORT_DOUBLE_GRABBERS", "clserme4.dll", 1);
    CCamLinkUpdate link(false, clock_, kDouble);
    std::strcpy(link.grabberDll, "clserme4.dll");
    ASSERT_EQ(link.Open(0), 0u);
    EXPECT_EQ(calls("Open_"), std::vector<std::string>{"Open_Cam_Ext 0xb000 clserme4.dll"});

    std::strcpy(link.grabberDll, "clsersis.dll");
    EXPECT_EQ(link.Open(0), protocol::kErrGrabberLibrary);
}

TEST_F(CamLinkTest, SearchesTheBaudRateInItsOrder) {
    startCamera({"--cl-baud", "57600", "--serial", "42"});
    CCamLinkUpdate link(false, clock_, kDouble);
    ASSERT_EQ(link.Open(0), 0u);
    EXPECT_EQ(calls("Set_Transfer_Parameters"),
              rates({115200, 9600, 19200, 38400, 57600, 115200}));
    EXPECT_EQ(link.serialNumber, 42u);
    EXPECT_EQ(link.linkBaudRate, 115200u);
}

TEST_F(CamLinkTest, GivesUpAfterEightAttempts) {
    startCamera({"--cl-baud", "1200"});
    CCamLinkUpdate link(false, clock_, kDouble);
    link.serialNumber = 5;
    EXPECT_EQ(link.Open(0), protocol::kErrNoCamera);
    EXPECT_EQ(calls("Set_Transfer_Parameters"),
              rates({115200, 9600, 19200, 38400, 57600, 76800, 500000}));
    EXPECT_EQ(calls("Control_Command 0x0003").size(), 8u);
    EXPECT_EQ(link.serialNumber, 0u);
    EXPECT_EQ(link.port, -1);
    EXPECT_EQ(link.connected, 0);
}

TEST_F(CamLinkTest, SetBaudRateFallsBackTo38400Then19200) {
    startCamera({});
    CCamLinkUpdate link(false, clock_, kDouble);
    ASSERT_EQ(link.Open(0), 0u);

    link.SetBaudRate(9600);
    setenv("TESSIPORT_DOUBLE_REFUSE", "115200", 1);
    forgetCalls();
    EXPECT_EQ(link.SetBaudRate(115200), 0u);
    EXPECT_EQ(calls("Set_Transfer_Parameters"), rates({115200, 38400}));
    EXPECT_EQ(link.linkBaudRate, 38400u);

    setenv("TESSIPORT_DOUBLE_REFUSE", "115200,38400", 1);
    forgetCalls();
    EXPECT_EQ(link.SetBaudRate(115200), 0u);
    EXPECT_EQ(calls("Set_Transfer_Parameters"), rates({115200, 38400, 19200}));
    EXPECT_EQ(link.linkBaudRate, 19200u);

    // Nothing accepted: the link stays where it was and SetBaudRate still succeeds.
    setenv("TESSIPORT_DOUBLE_REFUSE", "115200,38400,19200", 1);
    forgetCalls();
    EXPECT_EQ(link.SetBaudRate(115200), 0u);
    EXPECT_EQ(calls("Set_Transfer_Parameters"), rates({115200, 38400, 19200}));
    EXPECT_EQ(link.linkBaudRate, 19200u);
}

TEST_F(CamLinkTest, BootModeCameraIsFoundAtTheSlowRate) {
    startCamera({"--boot-mode"});
    CCamLinkUpdate link(false, clock_, kDouble);
    ASSERT_EQ(link.Open(0), 0u);
    EXPECT_EQ(link.bootMode, 1);
    EXPECT_EQ(link.serialNumber, 0x87654321u);
    EXPECT_EQ(link.linkWord, -1);
    EXPECT_EQ(link.linkBaudRate, 9600u);

    forgetCalls();
    link.PrepareTransfer(0);
    EXPECT_EQ(link.transferBaudRate, 9600u);
    EXPECT_TRUE(calls("Set_Transfer_Parameters").empty());
}

TEST_F(CamLinkTest, FastFpgaTransferNeedsNewBootloaderAndMainFirmware) {
    startCamera({"--bootloader", "1:1.06", "--firmware", "0:4:5.01"});
    CCamLinkUpdate link(false, clock_, kDouble);
    ASSERT_EQ(link.Open(0), 0u);
    EXPECT_EQ(link.bootloaderVersion, 0x0106);
    EXPECT_EQ(link.mainVariant, 4);
    EXPECT_EQ(link.mainVersion, 0x0501);
    EXPECT_EQ(link.fastFpgaTransfer, 1);
}

TEST_F(CamLinkTest, PrepareTransferKeepsOldBootloadersSlowForTheFpgaAndRaisesDeviceZero) {
    startCamera({"--bootloader", "1:1.05", "--firmware", "0:4:5.01"});
    CCamLinkUpdate link(false, clock_, kDouble);
    ASSERT_EQ(link.Open(0), 0u);
    EXPECT_EQ(link.fastFpgaTransfer, 0);
    link.SetBaudRate(9600);

    forgetCalls();
    EXPECT_EQ(link.PrepareTransfer(1), 0u);
    EXPECT_EQ(link.transferBaudRate, 9600u);
    EXPECT_TRUE(calls("Set_Transfer_Parameters").empty());
    EXPECT_TRUE(calls("Control_Command").empty());

    EXPECT_EQ(link.PrepareTransfer(0), 0u);
    EXPECT_EQ(calls("Set_Transfer_Parameters"), rates({115200}));
    EXPECT_EQ(link.transferBaudRate, 115200u);

    forgetCalls();
    EXPECT_EQ(link.FinishTransfer(0), 0u);
    EXPECT_EQ(calls("Set_Transfer_Parameters"), rates({9600}));
    EXPECT_EQ(link.transferBaudRate, 9600u);
}

}  // namespace
}  // namespace camera::test

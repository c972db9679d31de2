// CComUpdate against camsim over a pty, and CCamLinkUpdate as the programmer runs it: the real
// libtessiport.so, libclsersim as the frame grabber, camsim on its Camera Link socket.

#include "programmer/camera/cam_link_update.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <fstream>

#include "../tessiport/test_support.h"
#include "programmer/camera/com_update.h"
#include "protocol/commands.h"
#include "tools/camsim_process.h"
#include "tools/temp_folder.h"

namespace camera::test {
namespace {

const std::string kCamsim = KF_BINARY_DIR "/bin/camsim";
const std::string kLibrary = KF_BINARY_DIR "/lib/libtessiport.so";
protocol::NullLogSink nullLog;

// The identification's port number decides whether the port is kept; the model's tests cover
// what the identification finds.
TEST(ComCamsimTest, KeepsTheIdentifiedPortAndReopensForAnotherPortNumber) {
    tools::CamsimProcess first, second;
    ASSERT_TRUE(first.start(kCamsim, {"--serial", "111"}));
    ASSERT_TRUE(second.start(kCamsim, {"--serial", "222"}));
    CComUpdate link(false, nullLog, platform::realClock());
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
}

TEST(CamLinkBindingTest, AMissingLibraryOrExportLeavesCameraLinkUnavailable) {
    CCamLinkUpdate missing(false, "/nonexistent/folder/libtessiport.so");
    EXPECT_FALSE(missing.libraryReady());
    EXPECT_EQ(missing.Open(0), protocol::kErrGrabberLibrary);
    uint8_t reply[8] = {};
    const auto request = protocol::simpleRequest(protocol::cmd::GET_CAMERA_TYPE);
    EXPECT_EQ(missing.Command(request.data(), request.size, reply, 8, 100),
              protocol::kErrGrabberLibrary);
    // The real library with all exports but the last one bound, and a library with none of them:
    // both are released again.
    for (const std::string partial : {KF_BINARY_DIR "/testlib/libtessiport_without_transfer.so",
                                      KF_BINARY_DIR "/lib/libclsersim.so"}) {
        EXPECT_FALSE(CCamLinkUpdate(false, partial).libraryReady()) << partial;
        EXPECT_EQ(dlopen(partial.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr) << partial;
    }
    EXPECT_TRUE(CCamLinkUpdate(false, kLibrary).libraryReady());
}

// The programmer's link over the real pair. The grabber's call log (CLSERSIM_LOG) shows the rates
// the grabber was switched to and the telegrams it sent; the library's log shows how it was opened.
class CamLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("CLSERSIM_LOG", folder_.path("grabber.txt").c_str(), 1);
        setenv("QEL_DATA_DIR", folder_.path().c_str(), 1);
        setenv("TESSIPORT_INSTANCE", ("camera" + std::to_string(getpid())).c_str(), 1);
        unsetenv("CLSERSIM_BAUDRATES");
        std::ofstream(folder_.path("tessiport.log")).close();  // the library logs into it
    }
    void TearDown() override {
        link_.reset();
        unsetenv("CLSERSIM_LOG");
        unsetenv("CLSERSIM_BAUDRATES");
    }
    void startCamera(std::vector<std::string> options) {
        options.insert(options.end(), {"--boot-time", "100", "--camlink-port", "0"});
        link_.reset();
        camsim_.stop();
        ASSERT_TRUE(camsim_.start(kCamsim, options));
        setenv("CLSERSIM_PORT0", camsim_.camlinkAddress().c_str(), 1);
        link_ = std::make_unique<CCamLinkUpdate>(false, kLibrary);
        ASSERT_TRUE(link_->libraryReady());
        std::strcpy(link_->grabberDll, "clsersim.dll");
        forgetCalls();
    }
    // The grabber calls since the last check that start with `prefix`.
    std::vector<std::string> calls(const std::string& prefix) {
        return libtest::linesStartingWith(folder_.path("grabber.txt"), prefix);
    }
    void forgetCalls() { std::ofstream(folder_.path("grabber.txt"), std::ios::trunc); }
    // The grabber was switched to `rates` since the last check.
    void expectRates(const std::vector<int>& rates) {
        std::vector<std::string> lines;
        for (int rate : rates)
            lines.push_back("rate " + std::to_string(rate));
        EXPECT_EQ(calls("rate"), lines);
        forgetCalls();
    }
    std::string libraryLog() { return libtest::readText(folder_.path("tessiport.log")); }

    tools::TempFolder folder_;
    tools::CamsimProcess camsim_;
    std::unique_ptr<CCamLinkUpdate> link_;
};

TEST_F(CamLinkTest, OpensThroughTheNamedGrabberRaisesTheLinkTo115200AndReadsTheFirmwareFacts) {
    startCamera({"--serial", "777", "--link-word", "1", "--bootloader", "1:1.06", "--firmware",
                 "0:4:5.01"});
    ASSERT_EQ(link_->Open(0), 0u);
    EXPECT_NE(libraryLog().find("Open_Cam_Ext(b000,"), std::string::npos);
    EXPECT_EQ(calls("init"), std::vector<std::string>{"init 0 0"});
    expectRates({115200});
    EXPECT_EQ(link_->port, 0xb000);
    EXPECT_EQ(link_->serialNumber, 777u);
    EXPECT_EQ(link_->linkWord, 1);
    EXPECT_EQ(link_->linkBaudRate, 115200u);
    // A new bootloader and main firmware take the Main FPGA at the fast rate.
    EXPECT_EQ(link_->bootloaderVersion, 0x0106);
    EXPECT_EQ(link_->mainVariant, 4);
    EXPECT_EQ(link_->mainVersion, 0x0501);
    EXPECT_EQ(link_->fastFpgaTransfer, 1);
    link_->Close();
    EXPECT_EQ(calls("close"), std::vector<std::string>{"close"});
    EXPECT_EQ(link_->handle(), 0u);

    // A grabber library that is not there, and no name at all (nothing to choose from without a
    // chooser): the camera is not reached.
    std::strcpy(link_->grabberDll, "clsersis.dll");
    EXPECT_EQ(link_->Open(0), protocol::kErrGrabberLibrary);
    link_->grabberDll[0] = '\0';
    EXPECT_NE(link_->Open(0), 0u);
    EXPECT_NE(libraryLog().find("Open_Cam_Ext(9000,"), std::string::npos);
    EXPECT_EQ(link_->connected, 0);
    EXPECT_TRUE(calls("init").empty());
}

// The camera's rate is found by the probes; the rates past 115200 cannot be reached through the
// library, so after eight probes the camera counts as absent.
TEST_F(CamLinkTest, SearchesTheBaudRateInItsOrderAndGivesUpAfterEightProbes) {
    const std::string closeDevice = "write 03000d00";  // CLOSE_DEVICE, 13 bytes
    const struct {
        const char* cameraRate;
        std::vector<int> rates;
        size_t probes;
        ErrorCode result;
    } rows[] = {
        {"9600", {115200}, 1, 0},
        {"115200", {115200}, 2, 0},
        {"38400", {115200, 9600, 19200, 38400, 115200}, 5, 0},
        {"230400", {115200, 9600, 19200, 38400}, 8, protocol::kErrNoCamera},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.cameraRate);
        startCamera({"--cl-baud", row.cameraRate, "--serial", "42"});
        EXPECT_EQ(link_->Open(0), row.result);
        EXPECT_EQ(calls(closeDevice).size(), row.probes);
        expectRates(row.rates);
        EXPECT_EQ(link_->serialNumber, row.result == 0 ? 42u : 0u);
        EXPECT_EQ(link_->connected, row.result == 0 ? 1 : 0);
        EXPECT_EQ(link_->port, row.result == 0 ? 0xb000 : -1);
        EXPECT_EQ(link_->linkBaudRate, row.result == 0 ? 115200u : 9600u);  // 9600: not read
    }
}

TEST_F(CamLinkTest, SetBaudRateFallsBackTo38400Then19200WhenTheGrabberRefuses) {
    startCamera({});
    ASSERT_EQ(link_->Open(0), 0u);
    const struct {
        const char* grabberRates;
        std::vector<int> switched;
        uint32_t linkRate;
    } rows[] = {
        {"0x17", {115200}, 115200},
        {"0x07", {38400}, 38400},
        {"0x03", {19200}, 19200},
        {"0x01", {}, 9600},  // nothing accepted: the link stays, SetBaudRate still succeeds
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.grabberRates);
        unsetenv("CLSERSIM_BAUDRATES");
        EXPECT_EQ(link_->SetBaudRate(9600), 0u);
        EXPECT_EQ(link_->linkBaudRate, 9600u);
        forgetCalls();
        setenv("CLSERSIM_BAUDRATES", row.grabberRates, 1);
        EXPECT_EQ(link_->SetBaudRate(115200), 0u);
        expectRates(row.switched);
        EXPECT_EQ(link_->linkBaudRate, row.linkRate);
    }
}

TEST_F(CamLinkTest, TransfersSlowInBootModeAndOnOldBootloadersForTheFpgaFastOtherwise) {
    startCamera({"--boot-mode"});
    ASSERT_EQ(link_->Open(0), 0u);
    EXPECT_EQ(link_->bootMode, 1);
    EXPECT_EQ(link_->linkBaudRate, 9600u);
    forgetCalls();
    link_->PrepareTransfer(0);
    EXPECT_EQ(link_->transferBaudRate, 9600u);
    expectRates({});

    startCamera({"--bootloader", "1:1.05", "--firmware", "0:4:5.01"});
    ASSERT_EQ(link_->Open(0), 0u);
    EXPECT_EQ(link_->fastFpgaTransfer, 0);
    link_->SetBaudRate(9600);
    forgetCalls();
    EXPECT_EQ(link_->PrepareTransfer(1), 0u);
    EXPECT_EQ(link_->transferBaudRate, 9600u);
    EXPECT_TRUE(calls("write").empty());
    EXPECT_EQ(link_->PrepareTransfer(0), 0u);
    expectRates({115200});
    EXPECT_EQ(link_->transferBaudRate, 115200u);
    EXPECT_EQ(link_->FinishTransfer(0), 0u);
    expectRates({9600});
    EXPECT_EQ(link_->transferBaudRate, 9600u);
}

}  // namespace
}  // namespace camera::test

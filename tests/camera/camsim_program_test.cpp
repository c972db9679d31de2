// CComUpdate against camsim over a pty: the rules for keeping or reopening the port, a camera in
// boot mode, and each device programmed, with camsim's saved flash compared with the image
// afterwards. No device is ever reported programmed while its flash differs from the image.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <iterator>

#include "fake_camera.h"
#include "programmer/camera/com_update.h"
#include "programmer/camera/flash_device.h"
#include "tools/camsim_process.h"
#include "tools/temp_folder.h"

namespace camera::test {
namespace {

class CamsimTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!camsimBuilt()) GTEST_SKIP() << "camsim not built";
    }
    protocol::NullLogSink log_;
};

TEST_F(CamsimTest, KeepsTheIdentifiedPortAndReopensAfterAChangeOrAFailure) {
    tools::CamsimProcess first, second;
    ASSERT_TRUE(first.start(kCamsim, {"--serial", "111", "--fault", "no-reply:0x0003:1"}));
    ASSERT_TRUE(second.start(kCamsim, {"--serial", "222"}));
    CComUpdate link(false, log_, platform::realClock());

    // The first identification gets no answer: the port is not kept for the next open.
    setenv("QEL_COM1", first.portPath().c_str(), 1);
    EXPECT_EQ(link.Open(0), protocol::kErrNoCamera);
    EXPECT_EQ(link.port, -1);
    setenv("QEL_COM1", second.portPath().c_str(), 1);
    ASSERT_EQ(link.Open(0), 0u);
    EXPECT_EQ(link.serialNumber, 222u);

    // Same port number after a good identification: the open port is kept.
    setenv("QEL_COM1", first.portPath().c_str(), 1);
    ASSERT_EQ(link.Open(0), 0u);
    EXPECT_EQ(link.serialNumber, 222u);

    // Another port number: the old port is closed, the new one opened.
    setenv("QEL_COM2", first.portPath().c_str(), 1);
    ASSERT_EQ(link.Open(1), 0u);
    EXPECT_EQ(link.serialNumber, 111u);
    EXPECT_EQ(link.port, 2);
}

TEST_F(CamsimTest, FindsACameraInBootMode) {
    tools::CamsimProcess camsim;
    ASSERT_TRUE(camsim.start(kCamsim, {"--boot-mode"}));
    setenv("QEL_COM1", camsim.portPath().c_str(), 1);
    CComUpdate link(false, log_, platform::realClock());
    ASSERT_EQ(link.Open(0), 0u);
    EXPECT_EQ(link.bootMode, 1);
    EXPECT_EQ(link.serialNumber, 0x87654321u);
    EXPECT_EQ(link.linkWord, -1);
    EXPECT_EQ(link.interfaceType, 0);
}

struct DeviceCase {
    int row;
    const char* stateFile;
    uint32_t startOffset;
    size_t size;
};

const DeviceCase kDevices[] = {
    {0, "main_up.bin", 0x100, 1300},   {1, "main_fpga.bin", 0x800, 3000},
    {2, "eeprom.bin", 0, 448},         {3, "main_pll.bin", 0, 448},
    {4, "head_fpga.bin", 0x10000, 1100},
};

class NoProgress : public ProgressSink {
public:
    void setProgress(int, int) override {}
};

struct Outcome {
    ErrorCode open = 0, erase = 0, program = 0, close = 0;
    bool checksumFailed = false;
    bool flashMatches = false;
};

// Starts camsim with `options`, programs one device as the programming run does, stops camsim
// and compares its saved flash with the image.
Outcome programWith(const DeviceCase& device, std::vector<std::string> options,
                    bool emergency = false) {
    tools::TempFolder state;
    options.insert(options.end(),
                   {"--state", state.path(), "--boot-time", "200", "--erase-time", "10"});
    tools::CamsimProcess camsim;
    Outcome outcome;
    if (!camsim.start(kCamsim, options)) {
        ADD_FAILURE() << "camsim did not start";
        return outcome;
    }
    setenv("QEL_COM1", camsim.portPath().c_str(), 1);
    // Blank stretches, so that the FPGA rows skip blocks.
    std::vector<uint8_t> data(device.size);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = (i / 256) % 3 == 1 ? 0xFF : uint8_t(i * 13 + device.row);
    {
        protocol::NullLogSink log;
        CComUpdate link(emergency, log, platform::realClock());
        EXPECT_EQ(link.Open(0), 0u);
        EventLog events;
        RecordingHost host(events);
        NoProgress progress;
        auto file = fileWith(device.row, data, device.startOffset);
        link.PrepareTransfer(device.row);
        outcome.open = OpenDevice(link, device.row, kOpenAttemptsUpdate);
        if (outcome.open == 0) {
            if (device.row != 2) outcome.erase = EraseDevice(link);
            if (outcome.erase == 0)
                outcome.program = ProgramDevice(link, device.row, file, emergency, progress, host,
                                                &outcome.checksumFailed);
            outcome.close = CloseDevice(link);
        }
    }
    camsim.stop();

    std::ifstream saved(state.path(device.stateFile), std::ios::binary);
    const std::vector<uint8_t> flash{std::istreambuf_iterator<char>(saved), {}};
    outcome.flashMatches =
        flash.size() >= device.startOffset + data.size() &&
        std::equal(data.begin(), data.end(), flash.begin() + device.startOffset);
    if (outcome.open == 0 && outcome.erase == 0 && outcome.program == 0) {
        EXPECT_TRUE(outcome.flashMatches) << "row " << device.row;
    }
    return outcome;
}

TEST_F(CamsimTest, EveryDeviceIsProgrammedAndHoldsItsImageAndAFailedWriteFailsIt) {
    for (const DeviceCase& device : kDevices) {
        const Outcome good = programWith(device, {});
        EXPECT_EQ(good.program, 0u) << "row " << device.row;
        EXPECT_EQ(good.close, 0u);
        EXPECT_TRUE(good.flashMatches) << "row " << device.row;

        const auto fault = "write-fail:" + std::to_string(device.row) + ":0";
        const Outcome failed = programWith(device, {"--fault", fault});
        EXPECT_NE(failed.program, 0u) << "row " << device.row;
        EXPECT_FALSE(failed.flashMatches) << "row " << device.row;
    }
}

TEST_F(CamsimTest, AReadBackMismatchFailsTheVerifiedDevices) {
    for (int row : {0, 1, 4}) {
        const Outcome outcome =
            programWith(kDevices[row], {"--fault", "readback-mismatch:" + std::to_string(row)});
        if (row == 0) {
            // The loop stops at the first bad block, so the camera's sum over the whole image
            // fails too: the checksum step decides.
            EXPECT_NE(outcome.program, 0u);
            EXPECT_TRUE(outcome.checksumFailed);
        } else {
            EXPECT_EQ(outcome.program, kErrReadBackMismatch) << "row " << row;
        }
    }
    // Emergency mode reads nothing back; the flash itself is right.
    EXPECT_EQ(programWith(kDevices[1], {"--fault", "readback-mismatch:1"}, true).program, 0u);
}

TEST_F(CamsimTest, OpenEraseAndPowerLossFailuresNeverCountAsProgrammed) {
    EXPECT_NE(programWith(kDevices[3], {"--fault", "open-fail:3"}).open, 0u);
    const Outcome erase = programWith(kDevices[1], {"--fault", "erase-fail:1"});
    EXPECT_EQ(erase.open, 0u);
    EXPECT_NE(erase.erase, 0u);
    EXPECT_FALSE(erase.flashMatches);

    // Emergency mode: no read-back, so only the write's silence and the camera's sum catch a
    // Main uP that lost power.
    const Outcome powerLoss = programWith(kDevices[0], {"--fault", "power-loss:0:2"}, true);
    EXPECT_NE(powerLoss.program, 0u);
    EXPECT_FALSE(powerLoss.flashMatches);
}

}  // namespace
}  // namespace camera::test

// Each device programmed through CComUpdate against camsim over a pty; camsim's flash (its state
// folder) is compared with the image afterwards. Every injected fault ends in its documented
// result, and no device is ever reported programmed while its flash differs from the image.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <iterator>

#include "camsim_process.h"
#include "fake_camera.h"
#include "programmer/camera/com_update.h"
#include "programmer/camera/flash_device.h"
#include "protocol/commands.h"

namespace camera::test {
namespace {

struct DeviceCase {
    int row;
    const char* stateFile;
    uint32_t startOffset;
    size_t size;
};

const DeviceCase kDevices[] = {
    {0, "main_up.bin", 0x100, 1300},
    {1, "main_fpga.bin", 0x800, 3000},
    {2, "eeprom.bin", 0, 448},
    {3, "main_pll.bin", 0, 448},
    {4, "head_fpga.bin", 0x10000, 1100},
};

// Device data with blank stretches, so that the FPGA rows skip blocks.
std::vector<uint8_t> imageFor(const DeviceCase& device) {
    std::vector<uint8_t> data(device.size);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = (i / 256) % 3 == 1 ? 0xFF : uint8_t(i * 13 + device.row);
    return data;
}

constexpr int kOffset = 96;

files::LoadedUpdateFile fileFor(const DeviceCase& device, const std::vector<uint8_t>& data) {
    files::LoadedUpdateFile file;
    file.image.assign(kOffset, 0);
    file.image.insert(file.image.end(), data.begin(), data.end());
    file.image.resize(file.image.size() + 100, 0xFF);
    file.readBackImage.assign(file.image.size(), 0);
    const size_t row = size_t(device.row);
    file.present[row] = true;
    file.dataOffset[row] = kOffset;
    file.record[row].dataLength = uint32_t(data.size());
    file.record[row].startOffset = device.startOffset;
    return file;
}

class NoProgress : public ProgressSink {
public:
    void setProgress(int, int) override {}
};

struct Outcome {
    ErrorCode open = 0, erase = 0, program = 0, close = 0;
    bool checksumFailed = false;
    bool flashMatches = false;
};

class CamsimProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!CamsimProcess::available()) GTEST_SKIP() << "camsim not built";
    }

    // Starts camsim with the faults, programs one device as the programming run does, stops
    // camsim and compares its saved flash with the image.
    Outcome programWith(const DeviceCase& device, std::vector<std::string> options,
                        bool emergency = false) {
        TempFolder state;
        options.insert(options.end(), {"--state", state.path(), "--boot-time", "200", "--erase-time", "10"});
        CamsimProcess camsim;
        Outcome outcome;
        if (!camsim.start(options)) {
            ADD_FAILURE() << "camsim did not start";
            return outcome;
        }
        setenv("QEL_COM1", camsim.portPath().c_str(), 1);
        const auto data = imageFor(device);
        {
            protocol::NullLogSink log;
            CComUpdate link(emergency, log, platform::realClock());
            EXPECT_EQ(link.Open(0), 0u);
            EventLog events;
            RecordingHost host(events);
            NoProgress progress;
            auto file = fileFor(device, data);
            link.PrepareTransfer(device.row);
            outcome.open = OpenDevice(link, device.row, kOpenAttemptsUpdate);
            if (outcome.open == 0) {
                if (device.row != 2) outcome.erase = EraseDevice(link);
                if (outcome.erase == 0)
                    outcome.program = ProgramDevice(link, device.row, file, emergency, progress,
                                                    host, &outcome.checksumFailed);
                outcome.close = CloseDevice(link);
            }
        }
        camsim.stop();

        std::ifstream saved(state.path() + "/" + device.stateFile, std::ios::binary);
        const std::vector<uint8_t> flash{std::istreambuf_iterator<char>(saved), {}};
        outcome.flashMatches = flash.size() >= device.startOffset + data.size() &&
                               std::equal(data.begin(), data.end(),
                                          flash.begin() + device.startOffset);
        // Whatever happened, a device reported programmed holds its image.
        if (outcome.open == 0 && outcome.erase == 0 && outcome.program == 0) {
            EXPECT_TRUE(outcome.flashMatches) << "row " << device.row;
        }
        return outcome;
    }
};

TEST_F(CamsimProgramTest, EveryDeviceIsProgrammedAndHoldsItsImage) {
    for (const DeviceCase& device : kDevices) {
        const Outcome outcome = programWith(device, {});
        EXPECT_EQ(outcome.program, 0u) << "row " << device.row;
        EXPECT_EQ(outcome.close, 0u);
        EXPECT_TRUE(outcome.flashMatches) << "row " << device.row;
    }
}

TEST_F(CamsimProgramTest, AReadBackMismatchFailsTheVerifiedDevices) {
    for (int row : {0, 1, 4}) {
        const DeviceCase& device = kDevices[row];
        const Outcome outcome =
            programWith(device, {"--fault", "readback-mismatch:" + std::to_string(row)});
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
    const Outcome emergency =
        programWith(kDevices[1], {"--fault", "readback-mismatch:1"}, true);
    EXPECT_EQ(emergency.program, 0u);
}

TEST_F(CamsimProgramTest, AFailedBlockWriteFailsTheDevice) {
    for (const DeviceCase& device : kDevices) {
        const Outcome outcome =
            programWith(device, {"--fault", "write-fail:" + std::to_string(device.row) + ":0"});
        EXPECT_NE(outcome.program, 0u) << "row " << device.row;
        EXPECT_FALSE(outcome.flashMatches) << "row " << device.row;
    }
}

TEST_F(CamsimProgramTest, OpenAndEraseFailuresStopBeforeAnyWrite) {
    const Outcome open = programWith(kDevices[3], {"--fault", "open-fail:3"});
    EXPECT_NE(open.open, 0u);
    const Outcome erase = programWith(kDevices[1], {"--fault", "erase-fail:1"});
    EXPECT_EQ(erase.open, 0u);
    EXPECT_NE(erase.erase, 0u);
    EXPECT_FALSE(erase.flashMatches);
}

TEST_F(CamsimProgramTest, TheCamerasChecksumCatchesAMainUpThatLostPower) {
    // Emergency mode: no read-back, so only the write's silence and the camera's sum remain.
    const Outcome outcome = programWith(kDevices[0], {"--fault", "power-loss:0:2"}, true);
    EXPECT_NE(outcome.program, 0u);
    EXPECT_FALSE(outcome.flashMatches);
}

}  // namespace
}  // namespace camera::test

// Whole updates through ProgDlg and CComUpdate against camsim over a pty: the flash and the
// versions read back afterwards match the file, and interrupted runs end in their documented
// messages, never in success. The flows' waits (reboot, polls) run twenty times faster than
// real time; camsim boots in 200 ms accordingly.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <set>
#include <thread>

#include "../camera/camsim_process.h"
#include "programmer/app/contact.h"
#include "programmer/app/default_camera_factory.h"
#include "programmer/app/prog_dlg.h"
#include "protocol/log_sink.h"
#include "scripted_host.h"
#include "tools/sample_update.h"
#include "update_file_builder.h"

namespace {

using namespace app;
using camera::test::CamsimProcess;
using camera::test::TempFolder;

constexpr const char* kLoadOrSelect = "Load Update File, select other port or close programmer";
const char* const kStateFiles[] = {"main_up.bin", "main_fpga.bin", "eeprom.bin", "main_pll.bin",
                                   "head_fpga.bin"};

// Real time, but every sleep of the flows is cut to a twentieth.
class QuickClock : public platform::Clock {
public:
    platform::Milliseconds now() const override { return platform::realClock().now(); }
    void sleepFor(platform::Milliseconds duration) override {
        std::this_thread::sleep_for(std::max(duration / 20, platform::Milliseconds(1)));
    }
};

class QuickHost : public apptest::ScriptedHost {
public:
    platform::Clock& clock() override { return quick; }
    QuickClock quick;
};

tools::SampleSettings smallSample(int major, int minor) {
    tools::SampleSettings sample;
    sample.versionMajor = major;
    sample.versionMinor = minor;
    sample.variant = 4;
    sample.mainUpCodeBytes = 24 * 1024;
    sample.mainFpgaBytes = 160 * 1024;
    sample.headFpgaBytes = 96 * 1024;
    return sample;
}

class ProgramCamsimTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!CamsimProcess::available())
            GTEST_SKIP() << "camsim not built";
    }

    // camsim with every device at V01.00 variant 4, plus `extra` options.
    bool startCamsim(const std::vector<std::string>& extra) {
        std::vector<std::string> options{"--state", state.path(),   "--boot-time",
                                         "200",     "--erase-time", "10"};
        for (int row = 0; row < kRowCount; ++row)
            options.insert(options.end(), {"--firmware", std::to_string(row) + ":4:1.00"});
        options.insert(options.end(), extra.begin(), extra.end());
        if (!camsim.start(options))
            return false;
        setenv("QEL_COM1", camsim.portPath().c_str(), 1);
        return true;
    }
    // Connects, loads the sample file and keeps `rows` checked.
    void connectAndLoad(const tools::SampleSettings& sample, std::set<int> rows) {
        dialog.options.connectWithoutDialog = true;
        dialog.options.interfaceType = kInterfaceComPort;
        dialog.options.portNumber = 0;
        dialog.OnInitDialog();
        ASSERT_TRUE(dialog.cameraConnected());
        std::vector<uint8_t> bytes;
        ASSERT_EQ(tools::buildSampleUpdateFile(sample, bytes), 0u);
        host.files.push_back(files.write("sample.qup", bytes));
        dialog.OnLoadFile();
        ASSERT_EQ(dialog.loaded.loadedFileName, "sample.qup");
        for (int row = 0; row < kRowCount; ++row)
            dialog.CheckDevice(row, rows.count(row) != 0);
        host.boxes.clear();
    }
    std::vector<uint8_t> savedFlash(int row) {
        std::ifstream saved(state.path() + "/" + kStateFiles[row], std::ios::binary);
        return {std::istreambuf_iterator<char>(saved), {}};
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> all;
        for (const auto& box : host.boxes)
            all.push_back(box.text);
        return all;
    }

    TempFolder state;
    CamsimProcess camsim;
    QuickHost host;
    protocol::NullLogSink log;
    DefaultCameraFactory factory{log, platform::realClock()};
    ProgDlg dialog{host, factory};
    apptest::UpdateFiles files;
};

TEST_F(ProgramCamsimTest, AFullUpdateLeavesTheFilesImagesAndVersionsInTheCamera) {
    ASSERT_TRUE(startCamsim({}));
    const tools::SampleSettings sample = smallSample(2, 5);
    connectAndLoad(sample, {0, 1, 2, 3, 4});
    dialog.OnProgram();

    EXPECT_EQ(texts(), std::vector<std::string>{});
    EXPECT_EQ(dialog.model.caption(kIdStatusLine), kLoadOrSelect);
    for (int row = 0; row < kRowCount; ++row) {
        EXPECT_EQ(dialog.lastRun[size_t(row)].result, DeviceResult::kProgrammed) << row;
        EXPECT_EQ(dialog.model.rowState[size_t(row)], ROW_DONE) << row;
        // Read back from the camera after the last reboot.
        EXPECT_EQ(dialog.cameraVersion[size_t(row)], 2 * 256 + 5) << row;
        EXPECT_EQ(dialog.cameraVariant[size_t(row)], 4) << row;
        EXPECT_EQ(dialog.model.caption(currentFwId(row)), "004 V02.05") << row;
    }
    dialog.camera.reset();
    camsim.stop();
    for (int row = 0; row < kRowCount; ++row) {
        const tools::SampleImage image = tools::sampleImage(sample, row);
        const auto flash = savedFlash(row);
        ASSERT_GE(flash.size(), image.startOffset + image.data.size()) << row;
        EXPECT_TRUE(
            std::equal(image.data.begin(), image.data.end(), flash.begin() + image.startOffset))
            << "row " << row;
    }
}

TEST_F(ProgramCamsimTest, APowerLossInTheMiddleOfADeviceNeverEndsInSuccess) {
    // After 20 blocks the camera goes silent and comes back in boot mode.
    ASSERT_TRUE(startCamsim({"--fault", "power-loss:1:20"}));
    connectAndLoad(smallSample(2, 0), {1, 2});
    dialog.OnProgram();

    EXPECT_EQ(dialog.lastRun[1].result, DeviceResult::kFailed);
    EXPECT_EQ(dialog.model.rowState[1], ROW_FAILED);
    EXPECT_NE(dialog.lastRun[2].result, DeviceResult::kProgrammed);
    const std::string closeError = "Cannot close device! Programmer quits update!\n";
    const std::string runFailed = WithContactLine("Programming failed!\nPlease contact QEL AG!\n");
    ASSERT_FALSE(host.boxes.empty());
    for (const auto& text : texts())
        EXPECT_TRUE(text == closeError || text == runFailed) << text;
    EXPECT_EQ(dialog.model.caption(kIdStatusLine).rfind("Programming failed for Main FPGA!", 0),
              0u);
}

// A camera that does not come back after its reboot is followed in program_run_test.cpp: each
// of camsim's 21 unanswered polls would cost a second of real time here.

}  // namespace

// Whole updates through ProgDlg and CComUpdate against camsim over a pty: the flash and the
// versions read back afterwards match the file, and an interrupted run ends in its messages,
// never in success. The flows' waits run twenty times faster than real time; camsim boots in
// 200 ms accordingly. A camera that does not come back after its reboot is followed in
// program_run_test.cpp: each of camsim's 21 unanswered polls would cost a second here.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <set>
#include <thread>

#include "programmer/app/contact.h"
#include "programmer/app/default_camera_factory.h"
#include "programmer/app/prog_dlg.h"
#include "protocol/log_sink.h"
#include "scripted_host.h"
#include "tools/camsim_process.h"
#include "tools/sample_update.h"
#include "update_file_builder.h"

namespace {

using namespace app;

const std::string kCamsim = std::string(KF_BINARY_DIR) + "/bin/camsim";

// Real time, but every sleep of the flows is cut to a twentieth.
class QuickHost : public apptest::ScriptedHost {
public:
    class QuickClock : public platform::Clock {
    public:
        platform::Milliseconds now() const override { return platform::realClock().now(); }
        void sleepFor(platform::Milliseconds duration) override {
            std::this_thread::sleep_for(std::max(duration / 20, platform::Milliseconds(1)));
        }
    };
    platform::Clock& clock() override { return quick; }
    QuickClock quick;
};

class ProgramCamsimTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (access(kCamsim.c_str(), X_OK) != 0) GTEST_SKIP() << "camsim not built";
    }
    // camsim with every device at V01.00 variant 4 and `extra` options; connects, loads a sample
    // file at V`major`.`minor` and keeps `rows` checked.
    void start(const std::vector<std::string>& extra, int major, int minor, std::set<int> rows) {
        std::vector<std::string> options{"--state", state.path(), "--boot-time", "200",
                                         "--erase-time", "10"};
        for (int row = 0; row < kRowCount; ++row)
            options.insert(options.end(), {"--firmware", std::to_string(row) + ":4:1.00"});
        options.insert(options.end(), extra.begin(), extra.end());
        ASSERT_TRUE(camsim.start(kCamsim, options));
        setenv("QEL_COM1", camsim.portPath().c_str(), 1);
        dialog.options.connectWithoutDialog = true;
        dialog.options.interfaceType = kInterfaceComPort;
        dialog.options.portNumber = 0;
        dialog.OnInitDialog();
        ASSERT_TRUE(dialog.cameraConnected());
        sample.versionMajor = major;
        sample.versionMinor = minor;
        sample.variant = 4;
        sample.mainUpCodeBytes = 24 * 1024;
        sample.mainFpgaBytes = 160 * 1024;
        sample.headFpgaBytes = 96 * 1024;
        std::vector<uint8_t> bytes;
        ASSERT_EQ(tools::buildSampleUpdateFile(sample, bytes), 0u);
        host.files.push_back(files.write("sample.qup", bytes));
        dialog.OnLoadFile();
        ASSERT_EQ(dialog.loaded.loadedFileName, "sample.qup");
        for (int row = 0; row < kRowCount; ++row) dialog.CheckDevice(row, rows.count(row) != 0);
        host.boxes.clear();
    }

    tools::TempFolder state;
    apptest::UpdateFiles files;
    tools::CamsimProcess camsim;
    tools::SampleSettings sample;
    QuickHost host;
    protocol::NullLogSink log;
    DefaultCameraFactory factory{log, platform::realClock()};
    ProgDlg dialog{host, factory};
};

TEST_F(ProgramCamsimTest, AFullUpdateLeavesTheFilesImagesAndVersionsInTheCamera) {
    ASSERT_NO_FATAL_FAILURE(start({}, 2, 5, {0, 1, 2, 3, 4}));
    dialog.OnProgram();

    EXPECT_EQ(host.texts(), std::vector<std::string>{});
    EXPECT_EQ(dialog.model.caption(kIdStatusLine),
              "Load Update File, select other port or close programmer");
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
    const char* const stateFiles[] = {"main_up.bin", "main_fpga.bin", "eeprom.bin",
                                      "main_pll.bin", "head_fpga.bin"};
    for (int row = 0; row < kRowCount; ++row) {
        const tools::SampleImage image = tools::sampleImage(sample, row);
        std::ifstream saved(state.path(stateFiles[row]), std::ios::binary);
        const std::vector<uint8_t> flash{std::istreambuf_iterator<char>(saved), {}};
        ASSERT_GE(flash.size(), image.startOffset + image.data.size()) << row;
        EXPECT_TRUE(
            std::equal(image.data.begin(), image.data.end(), flash.begin() + image.startOffset))
            << "row " << row;
    }
}

TEST_F(ProgramCamsimTest, APowerLossInTheMiddleOfADeviceNeverEndsInSuccess) {
    // After 20 blocks the camera goes silent and comes back in boot mode.
    ASSERT_NO_FATAL_FAILURE(start({"--fault", "power-loss:1:20"}, 2, 0, {1, 2}));
    dialog.OnProgram();

    EXPECT_EQ(dialog.lastRun[1].result, DeviceResult::kFailed);
    EXPECT_EQ(dialog.model.rowState[1], ROW_FAILED);
    EXPECT_NE(dialog.lastRun[2].result, DeviceResult::kProgrammed);
    const std::string closeError = "Cannot close device! Programmer quits update!\n";
    const std::string runFailed = WithContactLine("Programming failed!\nPlease contact QEL AG!\n");
    ASSERT_FALSE(host.boxes.empty());
    for (const auto& text : host.texts())
        EXPECT_TRUE(text == closeError || text == runFailed) << text;
    EXPECT_EQ(dialog.model.caption(kIdStatusLine).rfind("Programming failed for Main FPGA!", 0),
              0u);
}

}  // namespace

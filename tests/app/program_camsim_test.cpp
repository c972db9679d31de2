// A whole update through ProgDlg and CComUpdate against camsim over a pty, waits 20x faster.
// Interrupted runs (power loss, no answer after reboot) are in tests/cli.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <thread>

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
        if (access(kCamsim.c_str(), X_OK) != 0)
            GTEST_SKIP() << "camsim not built";
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
    // Every device at V01.00 variant 4 in the camera, V02.05 in the file.
    std::vector<std::string> options{"--state", state.path(),   "--boot-time",
                                     "200",     "--erase-time", "10"};
    for (int row = 0; row < kRowCount; ++row)
        options.insert(options.end(), {"--firmware", std::to_string(row) + ":4:1.00"});
    ASSERT_TRUE(camsim.start(kCamsim, options));
    setenv("QEL_COM1", camsim.portPath().c_str(), 1);
    dialog.options.connectWithoutDialog = true;
    dialog.options.interfaceType = kInterfaceComPort;
    dialog.options.portNumber = 0;
    dialog.OnInitDialog();
    ASSERT_TRUE(dialog.cameraConnected());
    sample.versionMajor = 2;
    sample.versionMinor = 5;
    sample.variant = 4;
    sample.mainUpCodeBytes = 24 * 1024;
    sample.mainFpgaBytes = 160 * 1024;
    sample.headFpgaBytes = 96 * 1024;
    std::vector<uint8_t> bytes;
    ASSERT_EQ(tools::buildSampleUpdateFile(sample, bytes), 0u);
    host.files.push_back(files.write("sample.qup", bytes));
    dialog.OnLoadFile();
    ASSERT_EQ(dialog.loaded.loadedFileName, "sample.qup");
    host.boxes.clear();
    dialog.OnProgram();

    EXPECT_EQ(host.texts(), std::vector<std::string>{});
    EXPECT_EQ(dialog.model.caption(kIdStatusLine),
              "Load Update File, select other port or close programmer");
    for (int row = 0; row < kRowCount; ++row) {
        EXPECT_EQ(dialog.lastRun[size_t(row)].result, DeviceResult::kProgrammed) << row;
        EXPECT_EQ(dialog.model.rowState[size_t(row)], ROW_DONE) << row;
        EXPECT_EQ(dialog.cameraVersion[size_t(row)], 2 * 256 + 5) << row;
        EXPECT_EQ(dialog.cameraVariant[size_t(row)], 4) << row;
        EXPECT_EQ(dialog.model.caption(currentFwId(row)), "004 V02.05") << row;
    }
    dialog.camera.reset();
    camsim.stop();
    const char* const stateFiles[] = {"main_up.bin", "main_fpga.bin", "eeprom.bin", "main_pll.bin",
                                      "head_fpga.bin"};
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

TEST_F(ProgramCamsimTest, ACameraInBootModeIsRecoveredInOneRun) {
    // A power loss while the Main uP is written leaves the camera in its bootloader, which
    // reports the Main uP only; the other devices keep V01.00.
    std::vector<std::string> options{"--state",      state.path(), "--boot-time", "200",
                                      "--erase-time", "10",         "--fault",     "power-loss:0:2"};
    for (int row = 0; row < kRowCount; ++row)
        options.insert(options.end(), {"--firmware", std::to_string(row) + ":4:1.00"});
    ASSERT_TRUE(camsim.start(kCamsim, options));
    setenv("QEL_COM1", camsim.portPath().c_str(), 1);
    sample.versionMinor = 1;
    sample.variant = 4;
    std::vector<uint8_t> bytes;
    ASSERT_EQ(tools::buildSampleUpdateFile(sample, bytes), 0u);
    const std::string path = files.write("sample.qup", bytes);
    auto connect = [&](ProgDlg& d) {
        d.options.connectWithoutDialog = true;
        d.options.interfaceType = kInterfaceComPort;
        d.options.portNumber = 0;
        d.OnInitDialog();
        host.files.push_back(path);
        d.OnLoadFile();
        ASSERT_EQ(d.loaded.loadedFileName, "sample.qup");
    };
    connect(dialog);
    for (int row = 1; row < kRowCount; ++row) dialog.CheckDevice(row, false);
    dialog.OnProgram();
    ASSERT_EQ(dialog.lastRun[0].result, DeviceResult::kFailed);
    dialog.OnQuit();

    ProgDlg recovery{host, factory};
    connect(recovery);
    ASSERT_EQ(recovery.camera->bootMode, 1);
    EXPECT_EQ(recovery.deviceAvailable, (std::array<bool, kRowCount>{true, false, false, false, false}));
    for (int row = 0; row < kRowCount; ++row) EXPECT_TRUE(recovery.IsDeviceChecked(row)) << row;
    host.boxes.clear();
    recovery.OnProgram();

    EXPECT_EQ(host.texts(), std::vector<std::string>{});
    EXPECT_EQ(recovery.model.caption(kIdStatusLine), kLoadOrSelect);
    for (int row = 0; row < kRowCount; ++row) {
        EXPECT_EQ(recovery.model.rowState[size_t(row)], ROW_DONE) << row;
        EXPECT_EQ(recovery.model.caption(currentFwId(row)), "004 V01.01") << row;
    }
}

}  // namespace

// Backups against camsim over a pty, waits 20x faster: a camera backed up, reprogrammed with other
// images and restored from its backup holds what it held before, device by device; a block read
// that fails part-way leaves no file.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <thread>

#include "programmer/app/default_camera_factory.h"
#include "programmer/app/prog_dlg.h"
#include "programmer/files/file_probe.h"
#include "protocol/log_sink.h"
#include "scripted_host.h"
#include "tools/camsim_process.h"
#include "tools/sample_update.h"
#include "update_file_builder.h"

namespace {

using namespace app;

const std::string kCamsim = std::string(KF_BINARY_DIR) + "/bin/camsim";
const char* const kStateFiles[] = {"main_up.bin", "main_fpga.bin", "eeprom.bin", "main_pll.bin",
                                   "head_fpga.bin"};

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

class BackupCamsimTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (access(kCamsim.c_str(), X_OK) != 0)
            GTEST_SKIP() << "camsim not built";
    }
    void start(std::vector<std::string> extra) {
        std::vector<std::string> options{"--state", state.path(),   "--boot-time",
                                         "200",     "--erase-time", "10"};
        for (int row = 0; row < kRowCount; ++row)
            options.insert(options.end(), {"--firmware", std::to_string(row) + ":4:1.00"});
        options.insert(options.end(), extra.begin(), extra.end());
        ASSERT_TRUE(camsim.start(kCamsim, options));
        setenv("QEL_COM1", camsim.portPath().c_str(), 1);
        dialog.options.connectWithoutDialog = true;
        dialog.options.packetMode = kPacketDevice;
        dialog.OnInitDialog();
        ASSERT_TRUE(dialog.cameraConnected());
    }
    void checkAll() {
        for (int row = 0; row < kRowCount; ++row)
            dialog.CheckDevice(row);
    }
    // Loads `path` and programs every device in it.
    void program(const std::string& path) {
        host.files.push_back(path);
        dialog.OnLoadFile();
        ASSERT_FALSE(dialog.loaded.loadedFileName.empty()) << path;
        checkAll();
        dialog.OnProgram();
        for (int row = 0; row < kRowCount; ++row)
            ASSERT_EQ(dialog.lastRun[size_t(row)].result, DeviceResult::kProgrammed) << row;
        dialog.loaded.loadedFileName.clear();  // the next backup asks for its name
    }
    std::string sampleFile(const std::string& name, int minor) {
        tools::SampleSettings sample{
            1, minor, 4, {true, true, true, true, true}, 24 * 1024, 160 * 1024, 96 * 1024};
        std::vector<uint8_t> bytes;
        EXPECT_EQ(tools::buildSampleUpdateFile(sample, bytes), 0u);
        return files.write(name, bytes);
    }
    std::vector<uint8_t> flash(int row) const {
        std::ifstream saved(state.path(kStateFiles[row]), std::ios::binary);
        return {std::istreambuf_iterator<char>(saved), {}};
    }

    tools::TempFolder state;
    apptest::UpdateFiles files;
    tools::CamsimProcess camsim;
    QuickHost host;
    protocol::NullLogSink log;
    DefaultCameraFactory factory{log, platform::realClock()};
    ProgDlg dialog{host, factory};
};

TEST_F(BackupCamsimTest, ARestoredBackupGivesBackEveryDevice) {
    start({});
    program(sampleFile("first.qup", 1));
    std::vector<std::vector<uint8_t>> first;
    for (int row = 0; row < kRowCount; ++row)
        first.push_back(flash(row));

    const std::string backup = files.folder.path("camera.qup");
    host.saveFiles.push_back(files.folder.path("camera"));
    checkAll();
    dialog.OnPacket();
    ASSERT_EQ(dialog.model.caption(kIdStatusLine), "Creating qel.update file done");
    ASSERT_TRUE(dialog.packetFileWritten);

    program(sampleFile("second.qup", 2));
    for (int row = 0; row < kRowCount; ++row)
        ASSERT_NE(flash(row), first[size_t(row)]) << "row " << row << " was not reprogrammed";

    // The backup is older than what the camera now runs: emergency mode takes the downgrade.
    dialog.options.emergencyMode = true;
    host.boxes.clear();
    program(backup);
    EXPECT_EQ(host.texts(), std::vector<std::string>{"Your camera is up to date!\n"});
    for (int row = 0; row < kRowCount; ++row) {
        EXPECT_TRUE(flash(row) == first[size_t(row)]) << "row " << row;
        EXPECT_EQ(dialog.model.caption(currentFwId(row)), "004 V01.01") << row;
    }
}

TEST_F(BackupCamsimTest, ABlockReadFailingPartWayLeavesNoFile) {
    start({"--fault", "read-fail:4:3"});
    host.saveFiles.push_back(files.folder.path("camera.qup"));
    dialog.CheckDevice(3);
    dialog.CheckDevice(4);
    dialog.OnPacket();
    EXPECT_EQ(dialog.model.caption(kIdStatusLine),
              "Error in Backup: reading Head FPGA failed, no file written");
    EXPECT_EQ(dialog.model.rowState[4], ROW_FAILED);
    EXPECT_EQ(dialog.lastRead[4].error, 0x80001063u) << "camsim's block read failure";
    EXPECT_EQ(dialog.model.rowState[3], ROW_DONE);
    EXPECT_FALSE(files::pathExists(files.folder.path("camera.qup")));
    EXPECT_EQ(host.texts(), std::vector<std::string>{});
}

}  // namespace

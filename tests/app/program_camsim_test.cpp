// A whole update through ProgDlg and CComUpdate against camsim over a pty, waits 20x faster.
// Interrupted runs (power loss, no answer after reboot) are in tests/cli.

#include "camsim_dialog.h"

namespace {

using namespace app;

class ProgramCamsimTest : public apptest::CamsimDialog {
protected:
    // Loads `path` into `d` and accepts it.
    void load(ProgDlg& d, const std::string& path) {
        host.files.push_back(path);
        d.OnLoadFile();
        ASSERT_EQ(d.loaded.loadedFileName, "sample.qup");
        host.boxes.clear();
    }
};

TEST_F(ProgramCamsimTest, AFullUpdateLeavesTheFilesImagesAndVersionsInTheCamera) {
    // Every device at V01.00 variant 4 in the camera, V02.05 in the file.
    startCamsim();
    connect(dialog);
    load(dialog, sampleFile("sample.qup", 2, 5));
    dialog.OnProgram();

    EXPECT_EQ(host.texts(), std::vector<std::string>{});
    EXPECT_EQ(dialog.model.caption(kIdStatusLine), kLoadOrSelect);
    for (int row = 0; row < kRowCount; ++row) {
        EXPECT_EQ(dialog.lastRun[size_t(row)].result, DeviceResult::kProgrammed) << row;
        EXPECT_EQ(dialog.model.rowState[size_t(row)], ROW_DONE) << row;
        EXPECT_EQ(dialog.cameraVersion[size_t(row)], 2 * 256 + 5) << row;
        EXPECT_EQ(dialog.cameraVariant[size_t(row)], 4) << row;
        EXPECT_EQ(dialog.model.caption(currentFwId(row)), "004 V02.05") << row;
    }
    dialog.camera.reset();
    camsim.stop();
    for (int row = 0; row < kRowCount; ++row) {
        const tools::SampleImage image = tools::sampleImage(sampleSettings(2, 5), row);
        const std::vector<uint8_t> saved = flash(row);
        ASSERT_GE(saved.size(), image.startOffset + image.data.size()) << row;
        EXPECT_TRUE(
            std::equal(image.data.begin(), image.data.end(), saved.begin() + image.startOffset))
            << "row " << row;
    }
}

TEST_F(ProgramCamsimTest, ACameraInBootModeIsRecoveredInOneRun) {
    // A power loss while the Main uP is written leaves the camera in its bootloader, which
    // reports the Main uP only; the other devices keep V01.00.
    startCamsim({"--fault", "power-loss:0:2"});
    const std::string path = sampleFile("sample.qup", 1, 1);
    connect(dialog);
    load(dialog, path);
    for (int row = 1; row < kRowCount; ++row)
        dialog.CheckDevice(row, false);
    dialog.OnProgram();
    ASSERT_EQ(dialog.lastRun[0].result, DeviceResult::kFailed);
    dialog.OnQuit();

    ProgDlg recovery{host, factory};
    connect(recovery);
    load(recovery, path);
    ASSERT_EQ(recovery.camera->bootMode, 1);
    EXPECT_EQ(recovery.deviceAvailable,
              (std::array<bool, kRowCount>{true, false, false, false, false}));
    for (int row = 0; row < kRowCount; ++row)
        EXPECT_TRUE(recovery.IsDeviceChecked(row)) << row;
    recovery.OnProgram();

    EXPECT_EQ(host.texts(), std::vector<std::string>{});
    EXPECT_EQ(recovery.model.caption(kIdStatusLine), kLoadOrSelect);
    for (int row = 0; row < kRowCount; ++row) {
        EXPECT_EQ(recovery.model.rowState[size_t(row)], ROW_DONE) << row;
        EXPECT_EQ(recovery.model.caption(currentFwId(row)), "004 V01.01") << row;
    }
}

}  // namespace

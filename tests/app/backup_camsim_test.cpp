// Backups against camsim over a pty, waits 20x faster: a camera backed up, reprogrammed with other
// images and restored from its backup holds what it held before, device by device; a block read
// that fails part-way leaves no file.

#include "camsim_dialog.h"
#include "programmer/files/file_probe.h"

namespace {

using namespace app;

class BackupCamsimTest : public apptest::CamsimDialog {
protected:
    void start(const std::vector<std::string>& extra) {
        startCamsim(extra);
        connect(dialog, kPacketDevice);
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
};

TEST_F(BackupCamsimTest, ARestoredBackupGivesBackEveryDevice) {
    start({});
    program(sampleFile("first.qup", 1, 1));
    std::vector<std::vector<uint8_t>> first;
    for (int row = 0; row < kRowCount; ++row)
        first.push_back(flash(row));

    const std::string backup = files.folder.path("camera.qup");
    host.saveFiles.push_back(files.folder.path("camera"));
    checkAll();
    dialog.OnPacket();
    ASSERT_EQ(dialog.model.caption(kIdStatusLine), "Creating qel.update file done");
    ASSERT_TRUE(dialog.packetFileWritten);

    program(sampleFile("second.qup", 1, 2));
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

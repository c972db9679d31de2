// The main dialog over a real COM link to camsim on a pty, its fixed waits 20x faster: an update
// shows every row done with the file's versions; a backup of the camera, taken, overwritten by
// other images and restored in emergency mode, gives back every device's flash. Failures and
// interrupted runs are driven against the model in process, and through the CLI against camsim.

#include "camsim_fixture.h"
#include "dialog_rig.h"
#include "programmer/app/default_camera_factory.h"
#include "programmer/app/prog_dlg.h"
#include "protocol/log_sink.h"
#include "scripted_host.h"

namespace {

using namespace app;

class CamsimDialog : public testsupport::CamsimFixture {
protected:
    CamsimDialog() { host.clockInUse = &clock; }  // the fixture's fast clock, not virtual time
    // An update file of every device at variant 4 V01.`minor`, loaded and programmed whole.
    void programSample(const std::string& name, int minor) { program(writeSample(name, 1, minor)); }
    void program(const std::string& path) {
        host.files.push_back(path);
        dialog.OnLoadFile();
        ASSERT_EQ(dialog.Loaded().loadedFileName, path.substr(path.rfind('/') + 1));
        checkAll();
        dialog.OnProgram();
        for (int row = 0; row < kRowCount; ++row)
            ASSERT_EQ(dialog.DeviceResults()[size_t(row)].result, DeviceResult::kProgrammed) << row;
        apptest::loaded(dialog).loadedFileName.clear();  // the next backup asks for its name
    }
    void checkAll() {
        for (int row = 0; row < kRowCount; ++row) dialog.CheckDevice(row);
    }

    apptest::ScriptedHost host;
    protocol::NullLogSink log;
    app::DefaultCameraFactory factory{log, platform::realClock()};
    app::ProgDlg dialog{host, factory};
};

TEST_F(CamsimDialog, AnUpdateShowsEveryRowDoneAndARestoredBackupGivesBackEveryDevice) {
    startCamsim(everyDeviceAt(4, "1.00"));
    dialog.SetOptions({.packetMode = kPacketDevice, .connectWithoutDialog = true});
    dialog.OnInitDialog();
    ASSERT_TRUE(dialog.cameraConnected());
    programSample("first.qup", 1);
    EXPECT_EQ(host.texts(), std::vector<std::string>{});
    EXPECT_EQ(dialog.Model().caption(kIdStatusLine), kLoadOrSelect);
    std::vector<std::vector<uint8_t>> first;
    for (int row = 0; row < kRowCount; ++row) {
        EXPECT_EQ(dialog.Model().rowState[size_t(row)], ROW_DONE) << row;
        EXPECT_EQ(dialog.CameraVersion(row), 1 * 256 + 1) << row;
        EXPECT_EQ(dialog.CameraVariant(row), 4) << row;
        EXPECT_EQ(dialog.Model().caption(currentFwId(row)), "004 V01.01") << row;
        first.push_back(flash(row));
    }

    const std::string backup = work.path("camera.qup");
    host.saveFiles.push_back(work.path("camera"));
    checkAll();
    dialog.OnPacket();
    ASSERT_EQ(dialog.Model().caption(kIdStatusLine), "Creating qel.update file done");
    ASSERT_TRUE(dialog.PacketFileWritten());

    programSample("second.qup", 2);
    for (int row = 0; row < kRowCount; ++row)
        ASSERT_NE(flash(row), first[size_t(row)]) << "row " << row << " was not reprogrammed";

    // The backup is older than what the camera now runs: emergency mode takes the downgrade.
    apptest::options(dialog).emergencyMode = true;
    host.boxes.clear();
    program(backup);
    EXPECT_EQ(host.texts(), std::vector<std::string>{"Your camera is up to date!\n"});
    for (int row = 0; row < kRowCount; ++row) {
        EXPECT_TRUE(flash(row) == first[size_t(row)]) << "row " << row;
        EXPECT_EQ(dialog.Model().caption(currentFwId(row)), "004 V01.01") << row;
    }
}

}  // namespace

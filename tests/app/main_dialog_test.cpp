#include <gtest/gtest.h>

#include <set>

#include "dialog_rig.h"

namespace {

using namespace app;
using apptest::ScriptedHost;

constexpr const char* kLoadOrSelect = "Load Update File, select other port or close programmer";
constexpr const char* kNoDevice = "No Device selected! Try again or close programmer\n";
constexpr const char* kCannotConnect = "Cannot connect camera\nChange parameters and try again\n";
const std::set<int> kIdle{kIdQuit, kIdSelectPort};
const std::set<int> kNoCamera{kIdQuit, kIdSelectPort, kIdLoadFile};
const std::set<int> kConnected{kIdQuit, kIdSelectPort, kIdReboot, kIdLoadFile};

std::set<int> with(std::set<int> ids, std::initializer_list<int> more) {
    ids.insert(more);
    return ids;
}

class MainDialog : public ::testing::Test, public apptest::DialogRig {};

// The status lines of a found camera are checked with the connection dialog's.
TEST_F(MainDialog, DirectConnectionFindsTheCameraOrItsBootMode) {
    startConnected({.portNumber = 3});
    EXPECT_EQ(enabled(), kConnected);
    EXPECT_EQ(dialog.Model().windowTitle, "kelvoflash v1.11 ");
    EXPECT_EQ(factory.com.openedPorts, std::vector<int>{3});
    EXPECT_EQ(factory.com.grabberDllAtOpen[0], "clserme4.dll");
    EXPECT_TRUE(host.posted.empty());
    EXPECT_FALSE(dialog.Model().ended);

    factory.com.options.bootMode = true;
    factory.com.model.reset();
    startConnected();
    EXPECT_EQ(enabled(), with(kConnected, {checkBoxId(0)}));
}

TEST_F(MainDialog, DirectConnectionWithoutCameraEndsTheProgramUnlessInEmergencyMode) {
    const std::string wrongType = "Wrong interface type\n,Change parameters and try again\n";
    for (const int type : {1, 2}) {  // 1 unsupported; 2 without its library
        apptest::DialogRig t;
        t.factory.camLinkLibrary = false;
        t.factory.com.present = false;
        t.startConnected({.interfaceType = type});
        ASSERT_EQ(t.host.boxes.size(), 1u) << type;
        EXPECT_EQ(t.host.boxes[0].text, type == 1 ? wrongType : kCannotConnect);
        EXPECT_EQ(t.host.boxes[0].icon, BoxIcon::Warning);
        EXPECT_TRUE(t.dialog.Model().ended);
        EXPECT_EQ(t.dialog.Model().result, 0);
        EXPECT_FALSE(t.dialog.link());
        EXPECT_TRUE(t.factory.camLink.openedPorts.empty());
        EXPECT_EQ(t.factory.comMade + t.factory.camLinkMade, type == 1 ? 0 : 1);
    }
    factory.com.present = false;
    startConnected({.emergencyMode = true});
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_FALSE(dialog.Model().ended);
    EXPECT_EQ(status(), std::string("!No camera connected!  ") + kLoadOrSelect);
    EXPECT_EQ(enabled(), kNoCamera);
    EXPECT_EQ(dialog.Model().windowTitle, "kelvoflash v1.11 emergency ");
    EXPECT_TRUE(dialog.link());  // kept, unconnected
}

TEST_F(MainDialog, WithoutMinusSTheConnectionDialogIsPostedSelectPortDropsTheOldLinkFirst) {
    dialog.OnInitDialog();
    EXPECT_EQ(enabled(), kIdle);
    EXPECT_EQ(host.connectionDialogs, 0);
    ASSERT_EQ(host.posted.size(), 1u);
    host.connectionScript = ScriptedHost::connectAndOk(0, 1);
    host.runPosted();
    EXPECT_EQ(host.connectionDialogs, 1);
    EXPECT_EQ(status(), kLoadOrSelect);
    EXPECT_EQ(enabled(), kConnected);
    EXPECT_EQ(dialog.Options().portNumber, 1);
    ASSERT_TRUE(dialog.link());
    EXPECT_EQ(dialog.Model().caption(currentFwId(0)), "001 V05.02");

    // Select Port drops the old link before its dialog opens.
    int destroyedWhenDialogOpened = -1;
    host.connectionScript = [&](CMorvatDlg&) { destroyedWhenDialogOpened = factory.com.destroyed; };
    dialog.OnSelectPort();
    EXPECT_EQ(destroyedWhenDialogOpened, 1);
    EXPECT_EQ(factory.com.closes, 1);
    EXPECT_FALSE(dialog.link());
    EXPECT_EQ(status(), kNoDevice);
    EXPECT_EQ(enabled(), kIdle);
    EXPECT_EQ(dialog.Model().caption(currentFwId(0)), "--- V--.--");

    // OK without a camera in emergency mode still allows loading.
    factory.com.present = false;
    ProgDlgTestAccess::options(dialog).emergencyMode = true;
    host.connectionScript = ScriptedHost::connectAndOk(0, 0);
    dialog.OnSelectPort();
    EXPECT_EQ(status(), kLoadOrSelect);
    EXPECT_EQ(enabled(), kNoCamera);
}

TEST_F(MainDialog, FilePacketModeStartsWithoutConnectionARightClickTogglesTheMode) {
    ProgDlgTestAccess::options(dialog).packetMode = 2;
    dialog.OnInitDialog();
    EXPECT_TRUE(host.posted.empty());
    EXPECT_EQ(dialog.Model().caption(kIdPacket), "FilePacket");
    EXPECT_EQ(enabled(), with(kIdle, {kIdPacket, checkBoxId(0), checkBoxId(1), checkBoxId(2),
                                      checkBoxId(3), checkBoxId(4)}));
    EXPECT_EQ(status(), "Select Devices and create Packet from Device Files, or close programmer");
    // Select Port leaves Packet enabled whatever its outcome.
    dialog.OnSelectPort();
    EXPECT_EQ(status(), kNoDevice);
    EXPECT_EQ(enabled(), with(kIdle, {kIdPacket}));

    // A right click on Packet toggles the mode, only in packet mode and only between the modes
    // that are possible.
    dialog.OnPacketRightClick();
    host.runPosted();
    EXPECT_EQ(dialog.Options().packetMode, 2);  // no camera: mode 1 is skipped
    EXPECT_EQ(dialog.Model().caption(kIdPacket), "FilePacket");

    host.connectionScript = ScriptedHost::connectAndOk(0, 0);
    dialog.OnSelectPort();
    dialog.OnPacketRightClick();
    host.runPosted();
    EXPECT_EQ(dialog.Options().packetMode, 1);
    EXPECT_EQ(dialog.Model().caption(kIdPacket), "DevicePacket");

    dialog.DisableAllControls();
    EXPECT_TRUE(enabled().empty());
    dialog.OnPacketRightClick();
    EXPECT_TRUE(host.posted.empty());  // a disabled button takes no clicks
}

TEST_F(MainDialog, QuitAndCloseReleaseEverything) {
    startConnected();
    ProgDlgTestAccess::loaded(dialog).image.assign(100, 0);
    ProgDlgTestAccess::loaded(dialog).readBackImage.assign(100, 0);
    const auto before = host.virtualClock.totalSlept();
    dialog.OnQuit();
    EXPECT_EQ(host.virtualClock.totalSlept() - before, platform::Milliseconds(200));
    EXPECT_TRUE(dialog.Loaded().image.empty());
    EXPECT_TRUE(dialog.Loaded().readBackImage.empty());
    EXPECT_FALSE(dialog.link());
    EXPECT_EQ(factory.com.closes, 1);
    EXPECT_EQ(dialog.Model().result, 0);

    ProgDlg other(host, factory);
    ProgDlgTestAccess::options(other).connectWithoutDialog = true;
    other.OnInitDialog();
    other.OnClose();
    EXPECT_FALSE(other.link());
    EXPECT_EQ(other.Model().result, kResultCancel);
}

TEST_F(MainDialog, RebootReopensReadsInfoAndKeepsControlsOrDisablesThemWhenLost) {
    startConnected();
    const auto before = enabled();
    std::set<int> enabledWhileWaiting{kIdQuit};
    host.onPump = [&] { enabledWhileWaiting = enabled(); };
    factory.com.options.cameraType = 0x1210;
    factory.com.commands.clear();
    dialog.OnReboot();
    EXPECT_TRUE(enabledWhileWaiting.empty());  // no second flow can start during the wait
    EXPECT_EQ(enabled(), before);
    EXPECT_EQ(factory.com.closes, 1);
    EXPECT_EQ(factory.com.openedPorts.size(), 2u);
    EXPECT_EQ(dialog.link()->cameraType, 0x1210);
    EXPECT_EQ(factory.com.count(protocol::cmd::GET_HARDWARE_VERSIONS), 1);
    EXPECT_EQ(status(), kLoadOrSelect);

    ProgDlgTestAccess::model(dialog).enable(kIdProgram);
    ProgDlgTestAccess::model(dialog).enable(kIdPacket);
    factory.com.fault("no-answer-after-reboot");
    dialog.OnReboot();
    EXPECT_EQ(status(), "Connection to Camera lost, select other port or close programmer");
    EXPECT_EQ(enabled(), with(kIdle, {kIdReboot}));
    EXPECT_EQ(factory.com.closes, 1);  // the link stays open
}

}  // namespace

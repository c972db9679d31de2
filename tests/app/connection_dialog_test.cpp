#include "programmer/app/cmorvat_dlg.h"

#include <gtest/gtest.h>

#include "programmer/app/prog_dlg.h"

#include "platform/port_diagnosis.h"
#include "scripted_camera.h"
#include "scripted_host.h"

namespace {

using namespace app;

const std::string kNoCamera = "No Camera connected\nSelect other Interface Type or Port\nConnect\n";

class ConnectionDialogTest : public ::testing::Test {
protected:
    apptest::ScriptedHost host;
    apptest::ScriptedFactory factory;
    CMorvatDlg dialog{host, factory};
    std::string status() const { return dialog.model.caption(kIdConnectionStatus); }
    void connect(int type, int port = 0) {
        dialog.OnInterfaceType(type);
        dialog.OnPortSelected(port);
        dialog.OnConnect();
    }
};

TEST_F(ConnectionDialogTest, WithoutTheLibraryCameraLinkFallsBackToComPorts) {
    factory.camLinkLibrary = false;
    dialog.interfaceType = 2;
    dialog.portNumber = 8;
    dialog.OnInitDialog();
    EXPECT_FALSE(dialog.model.isEnabled(kIdRadioCameraLink));
    EXPECT_EQ(dialog.interfaceType, 0);
    EXPECT_EQ(dialog.portNumber, 0);
    EXPECT_FALSE(dialog.model.isEnabled(kIdOk));
    EXPECT_EQ(status(), "Select Interface Type\nSelect Port\nConnect\n");
    EXPECT_EQ(factory.camLink.destroyed, 1);  // the probe is gone again
    EXPECT_FALSE(dialog.camera);
}

TEST_F(ConnectionDialogTest, ConnectWithoutChoosingATypeMakesNoLinkButEmergencyModeAllowsOk) {
    dialog.OnInitDialog();
    dialog.OnConnect();
    EXPECT_FALSE(dialog.camera);
    EXPECT_EQ(factory.comMade, 0);
    EXPECT_EQ(status(), kNoCamera);
    EXPECT_FALSE(dialog.model.isEnabled(kIdOk));

    CMorvatDlg emergency{host, factory};
    emergency.emergencyMode = true;
    emergency.OnInitDialog();
    emergency.OnConnect();
    EXPECT_EQ(emergency.model.caption(kIdConnectionStatus),
              "No Camera connected in Emergency Mode\nSelect other Interface Type or Port\n"
              "or proceed with OK or Cancel");
    EXPECT_TRUE(emergency.model.isEnabled(kIdOk));
}

TEST_F(ConnectionDialogTest, CameraAnsweringOnTheSecondAttemptIsIdentifiedALaterFailureDropsIt) {
    factory.com.openResults = {protocol::kErrNoCamera, protocol::kOk};
    dialog.grabberDll = "clserme4.dll";
    dialog.OnInitDialog();
    connect(0, 2);
    EXPECT_EQ(factory.com.openedPorts, (std::vector<int>{2, 2}));
    EXPECT_EQ(factory.com.grabberDllAtOpen[1], "clsersis.dll");
    EXPECT_EQ(status(), "Camera SNr. 1234 found");
    EXPECT_TRUE(dialog.connected());
    EXPECT_TRUE(dialog.model.isEnabled(kIdOk));
    ASSERT_TRUE(dialog.camera);
    EXPECT_EQ(dialog.camera->cameraType, 0x1200);
    EXPECT_EQ(dialog.portNumber, 2);

    // The open on port 4 has closed the link to port 2: OK must not hand it over.
    factory.com.openResults = {protocol::kErrNoCamera, protocol::kErrNoCamera};
    dialog.OnPortSelected(4);
    dialog.OnConnect();
    EXPECT_EQ(status(), kNoCamera);
    EXPECT_FALSE(dialog.model.isEnabled(kIdOk));
    EXPECT_FALSE(dialog.connected());
    EXPECT_FALSE(dialog.camera);

    // Until a Connect succeeds again.
    dialog.OnPortSelected(2);
    dialog.OnConnect();
    EXPECT_EQ(status(), "Camera SNr. 1234 found");
    EXPECT_TRUE(dialog.model.isEnabled(kIdOk));
}

// Both roads to the camera, the connection dialog's Connect and the start with -S, make, refuse
// and open the link alike; the start adds the rest of the status line, or ends with a box.
TEST(ConnectionRoads, RefuseALongLibraryNameOnCameraLinkAndNameTheCameraFound) {
    const std::string tooLong = "Framegrabber library name a_grabber_lib_20.dll is too long: at "
                                "most 19 characters.\nConnection failed!\n";
    const struct {
        int type;
        const char* grabber;
        bool bootMode;
        std::string text;  // the dialog's status; with `found` the start's status begins with it
        bool found;
    } cases[] = {
        {0, "clserme4.dll", false, "Camera SNr. 1234 found", true},
        {0, "clserme4.dll", true, "Camera found in Boot mode", true},
        // 20 characters do not fit; cut, the name would load another library.
        {2, "a_grabber_lib_20.dll", false, tooLong, false},
        {0, "a_grabber_lib_20.dll", false, "Camera SNr. 1234 found", true},  // COM: not used
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text + " " + c.grabber);
        apptest::ScriptedHost host;
        apptest::ScriptedFactory factory;
        factory.com.bootMode = factory.camLink.bootMode = c.bootMode;
        CMorvatDlg dialog{host, factory};
        dialog.SetGrabberDll(c.grabber);
        dialog.OnInitDialog();
        dialog.OnInterfaceType(c.type);
        dialog.OnPortSelected(0);
        dialog.OnConnect();
        EXPECT_EQ(dialog.model.caption(kIdConnectionStatus), c.text);
        EXPECT_EQ(dialog.connected(), c.found);
        EXPECT_EQ(bool(dialog.camera), c.found);
        EXPECT_EQ(dialog.model.isEnabled(kIdOk), c.found);

        apptest::ScriptedHost startHost;
        apptest::ScriptedFactory startFactory;
        startFactory.com.bootMode = c.bootMode;
        ProgDlg start{startHost, startFactory};
        start.options.connectWithoutDialog = true;
        start.options.interfaceType = c.type;
        start.options.grabberDll = c.grabber;
        start.OnInitDialog();
        if (c.found) {
            EXPECT_EQ(start.model.caption(kIdStatusLine), c.text + "   " + kLoadOrSelect);
            EXPECT_TRUE(startHost.boxes.empty());
        } else {
            EXPECT_EQ(startHost.texts(), std::vector<std::string>{c.text});
            EXPECT_TRUE(start.model.ended);
            EXPECT_FALSE(start.camera);
        }
        EXPECT_TRUE(factory.camLink.grabberDllAtOpen.empty() && startFactory.camLink.openedPorts.empty())
            << "a refused name reaches no open";
    }
}

TEST_F(ConnectionDialogTest, AMissingGrabberLibraryIsNamed) {
    dialog.OnInitDialog();
    factory.camLink.openResults = {protocol::kErrGrabberLibrary, protocol::kErrGrabberLibrary};
    dialog.SetGrabberDll("clsermy.dll");
    connect(2);
    EXPECT_EQ(factory.camLink.grabberDllAtOpen,
              (std::vector<std::string>{"clsermy.dll", "clsersis.dll"}));
    EXPECT_EQ(status(),
              "Framegrabber clsermy.dll not found or not supported.\nConnection failed!\n");
    EXPECT_FALSE(dialog.camera);
    EXPECT_FALSE(dialog.model.isEnabled(kIdOk));
}

TEST_F(ConnectionDialogTest, ChoosingATypeAfterAConnectReplacesTheLink) {
    dialog.OnInitDialog();
    connect(0);
    dialog.OnInterfaceType(2);
    EXPECT_EQ(factory.com.closes, 1);
    EXPECT_EQ(factory.com.destroyed, 1);
    ASSERT_TRUE(dialog.camera);
    EXPECT_FALSE(dialog.camera->connected || dialog.connected());
    EXPECT_TRUE(dialog.model.isEnabled(kIdOk));
    EXPECT_TRUE(dialog.model.isChecked(kIdRadioCameraLink));
    EXPECT_FALSE(dialog.model.isChecked(kIdRadioComPort));
    EXPECT_EQ(status(), "Select Port\nConnect");
}

TEST_F(ConnectionDialogTest, NoCameraDropsTheLinkUnlessTheCameraSaysEmergencyMode) {
    factory.com.answers = false;
    dialog.OnInitDialog();
    connect(0);
    EXPECT_FALSE(dialog.camera);
    EXPECT_EQ(factory.com.destroyed, 1);
    EXPECT_EQ(status(), kNoCamera);

    factory.com.openResults = {protocol::kCamEmergencyConnected, protocol::kCamEmergencyConnected};
    dialog.emergencyMode = true;
    connect(0);
    EXPECT_EQ(status(),
              "Camera connected in Emergency Mode\nSelect other Interface Type or Port\n"
              "or proceed with OK or Cancel");
    EXPECT_TRUE(dialog.camera);  // kept for the main dialog
    EXPECT_TRUE(dialog.model.isEnabled(kIdOk));
}

// A failed Connect shows the port's diagnosis under the system's text, in both modes.
class DiagnosingFactory : public apptest::ScriptedFactory {
public:
    app::ConnectionCause explainFailedOpen(const camera::CCamUpdate&, int,
                                           protocol::ErrorCode) override {
        const platform::PortDiagnosis diagnosis = platform::diagnosePort("/", {57600});
        return {platform::portCauseName(diagnosis.cause), diagnosis.line};
    }
};

TEST(ConnectionDialogCause, AFailedConnectShowsTheCauseLine) {
    const std::string cause =
        "Cause: / is a directory, not a serial device; give the device's path, e.g. /dev/ttyUSB0.";
    struct Case {
        bool emergency;
        std::string status;
    };
    const Case cases[] = {
        {false, kNoCamera + cause + "\n"},
        {true, "No Camera connected in Emergency Mode\nSelect other Interface Type or Port\nor "
               "proceed with OK or Cancel\n" + cause},
    };
    for (const Case& c : cases) {
        apptest::ScriptedHost host;
        DiagnosingFactory factory;
        factory.com.answers = false;
        CMorvatDlg dialog{host, factory};
        dialog.emergencyMode = c.emergency;
        dialog.OnInitDialog();
        dialog.OnInterfaceType(0);
        dialog.OnPortSelected(0);
        dialog.OnConnect();
        EXPECT_EQ(dialog.model.caption(kIdConnectionStatus), c.status);
        EXPECT_EQ(dialog.connectionCause.name, "directory");
    }
}

}  // namespace

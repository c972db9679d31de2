#include "programmer/app/cmorvat_dlg.h"

#include <gtest/gtest.h>

#include "dialog_rig.h"
#include "platform/port_diagnosis.h"

namespace {

using namespace app;

const std::string kNoCamera = "No Camera connected\nSelect other Interface Type or Port\nConnect\n";
const std::string kOrProceed = "Select other Interface Type or Port\nor proceed with OK or Cancel";

// A factory that explains a failed open with the diagnosis of a path that is no serial device.
class DiagnosingFactory : public apptest::ModelFactory {
public:
    app::ConnectionCause explainFailedOpen(const camera::CCamUpdate&, int,
                                           protocol::ErrorCode) override {
        if (!diagnose) return {};
        const platform::PortDiagnosis diagnosis = platform::diagnosePort("/", {57600});
        return {platform::portCauseName(diagnosis.cause), diagnosis.line};
    }
    bool diagnose = false;
};

struct ConnectionRig {
    apptest::ScriptedHost host;
    DiagnosingFactory factory;
    CMorvatDlg dialog{host, factory};
    std::string status() const { return dialog.model.caption(kIdConnectionStatus); }
    void connect(int type, int port = 0) {
        dialog.OnInterfaceType(type);
        dialog.OnPortSelected(port);
        dialog.OnConnect();
    }
};

// A Connect that finds no camera says why; only emergency mode keeps OK, and only a camera that
// answered in emergency mode keeps the link.
TEST(ConnectionDialog, AFailedConnectSaysWhyAndKeepsOkOnlyInEmergencyMode) {
    const std::string cause =
        "Cause: / is a directory, not a serial device; give the device's path, e.g. /dev/ttyUSB0.";
    const struct {
        const char* name;
        int type;  // -1: Connect without choosing one
        bool emergency, present, diagnose;
        protocol::ErrorCode openResult;  // of both attempts; 0: as `present` says
        std::string status;
        bool linkKept;
    } cases[] = {
        {"no type chosen", -1, false, true, false, 0, kNoCamera, false},
        {"no type chosen, emergency mode", -1, true, true, false, 0,
         "No Camera connected in Emergency Mode\n" + kOrProceed, false},
        {"no camera", 0, false, false, false, 0, kNoCamera, false},
        {"no camera, the port's cause", 0, false, false, true, 0, kNoCamera + cause + "\n", false},
        {"no camera, the port's cause in emergency mode", 0, true, false, true, 0,
         "No Camera connected in Emergency Mode\n" + kOrProceed + "\n" + cause, true},
        {"the camera answers in emergency mode", 0, true, true, false,
         protocol::kCamEmergencyConnected, "Camera connected in Emergency Mode\n" + kOrProceed,
         true},
        {"grabber library missing", 2, false, true, false, protocol::kErrGrabberLibrary,
         "Framegrabber clsermy.dll not found or not supported.\nConnection failed!\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ConnectionRig r;
        apptest::ModelCameraState& camera = c.type == 2 ? r.factory.camLink : r.factory.com;
        camera.present = c.present;
        if (c.openResult) camera.openResults = {c.openResult, c.openResult};
        r.factory.diagnose = c.diagnose;
        r.dialog.emergencyMode = c.emergency;
        r.dialog.OnInitDialog();
        r.dialog.SetGrabberDll("clsermy.dll");
        if (c.type < 0)
            r.dialog.OnConnect();
        else
            r.connect(c.type);
        EXPECT_EQ(r.status(), c.status);
        // Each try with the chosen library, then with the fallback one.
        const std::vector<std::string> tried{"clsermy.dll", "clsersis.dll"};
        EXPECT_EQ(camera.grabberDllAtOpen, c.type < 0 ? std::vector<std::string>{} : tried);
        EXPECT_EQ(r.factory.comMade, c.type == 0 ? 1 : 0);
        EXPECT_EQ(bool(r.dialog.camera), c.linkKept);
        EXPECT_FALSE(r.dialog.connected());
        EXPECT_EQ(r.dialog.model.isEnabled(kIdOk), c.emergency);
        EXPECT_EQ(r.dialog.connectionCause.name, c.diagnose ? "directory" : "");
    }
}

TEST(ConnectionDialog, WithoutTheLibraryCameraLinkFallsBackToComPorts) {
    ConnectionRig r;
    r.factory.camLinkLibrary = false;
    r.dialog.interfaceType = 2;
    r.dialog.portNumber = 8;
    r.dialog.OnInitDialog();
    EXPECT_FALSE(r.dialog.model.isEnabled(kIdRadioCameraLink));
    EXPECT_EQ(r.dialog.interfaceType, 0);
    EXPECT_EQ(r.dialog.portNumber, 0);
    EXPECT_FALSE(r.dialog.model.isEnabled(kIdOk));
    EXPECT_EQ(r.status(), "Select Interface Type\nSelect Port\nConnect\n");
    EXPECT_EQ(r.factory.camLink.destroyed, 1);  // the probe is gone again
    EXPECT_FALSE(r.dialog.camera);
}

TEST(ConnectionDialog, ACameraFoundOnTheSecondAttemptIsHeldUntilAnotherConnectOrType) {
    ConnectionRig r;
    r.factory.com.openResults = {protocol::kErrNoCamera, protocol::kOk};
    r.dialog.grabberDll = "clserme4.dll";
    r.dialog.OnInitDialog();
    r.connect(0, 2);
    EXPECT_EQ(r.factory.com.openedPorts, (std::vector<int>{2, 2}));
    EXPECT_EQ(r.factory.com.grabberDllAtOpen[1], "clsersis.dll");
    EXPECT_EQ(r.status(), "Camera SNr. 1234 found");
    EXPECT_TRUE(r.dialog.connected());
    EXPECT_TRUE(r.dialog.model.isEnabled(kIdOk));
    ASSERT_TRUE(r.dialog.camera);
    EXPECT_EQ(r.dialog.camera->cameraType, 0x0400);
    EXPECT_EQ(r.dialog.portNumber, 2);

    // The open on port 4 has closed the link to port 2: OK must not hand it over.
    r.factory.com.openResults = {protocol::kErrNoCamera, protocol::kErrNoCamera};
    r.connect(0, 4);
    EXPECT_EQ(r.status(), kNoCamera);
    EXPECT_FALSE(r.dialog.model.isEnabled(kIdOk) || r.dialog.connected() || r.dialog.camera);

    // Until a Connect succeeds again; choosing a type then replaces the link with an unopened one.
    r.connect(0, 2);
    EXPECT_EQ(r.status(), "Camera SNr. 1234 found");
    EXPECT_TRUE(r.dialog.model.isEnabled(kIdOk));
    const int closes = r.factory.com.closes, destroyed = r.factory.com.destroyed;
    r.dialog.OnInterfaceType(2);
    EXPECT_EQ(r.factory.com.closes, closes + 1);
    EXPECT_EQ(r.factory.com.destroyed, destroyed + 1);
    ASSERT_TRUE(r.dialog.camera);
    EXPECT_FALSE(r.dialog.camera->connected || r.dialog.connected());
    EXPECT_TRUE(r.dialog.model.isEnabled(kIdOk));
    EXPECT_TRUE(r.dialog.model.isChecked(kIdRadioCameraLink));
    EXPECT_FALSE(r.dialog.model.isChecked(kIdRadioComPort));
    EXPECT_EQ(r.status(), "Select Port\nConnect");
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
        ConnectionRig r;
        r.factory.com.options.bootMode = r.factory.camLink.options.bootMode = c.bootMode;
        r.dialog.SetGrabberDll(c.grabber);
        r.dialog.OnInitDialog();
        r.connect(c.type);
        EXPECT_EQ(r.status(), c.text);
        EXPECT_EQ(r.dialog.connected(), c.found);
        EXPECT_EQ(bool(r.dialog.camera), c.found);
        EXPECT_EQ(r.dialog.model.isEnabled(kIdOk), c.found);

        apptest::DialogRig start;
        start.factory.com.options.bootMode = c.bootMode;
        start.startConnected({.interfaceType = c.type, .grabberDll = c.grabber});
        if (c.found) {
            EXPECT_EQ(start.status(), c.text + "   " + kLoadOrSelect);
            EXPECT_TRUE(start.host.boxes.empty());
        } else {
            EXPECT_EQ(start.host.texts(), std::vector<std::string>{c.text});
            EXPECT_TRUE(start.dialog.Model().ended);
            EXPECT_FALSE(start.dialog.link());
        }
        EXPECT_TRUE(r.factory.camLink.grabberDllAtOpen.empty() &&
                    start.factory.camLink.openedPorts.empty())
            << "a refused name reaches no open";
    }
}

}  // namespace

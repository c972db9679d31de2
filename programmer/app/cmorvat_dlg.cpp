#include "programmer/app/cmorvat_dlg.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "programmer/app/camera_connection.h"
#include "programmer/app/grabber_width.h"
#include "programmer/app/start_options.h"
#include "protocol/commands.h"

namespace app {

namespace {
constexpr int kPortCount = 8;
}  // namespace

CMorvatDlg::CMorvatDlg(Host& host, CameraFactory& factory) : host_(host), factory_(factory) {
    model.enable(kIdOk, false);
}

void CMorvatDlg::SetGrabberDll(const std::string& name) {
    grabberDll = name;
}

void CMorvatDlg::OnInitDialog() {
    model.setCaption(kIdRadioComPort, "ComPort");
    model.setCaption(kIdRadioCameraLink, "CameraLink");
    model.setCaption(kIdConnect, "Connect");
    model.setCaption(kIdOk, "OK");
    model.setCaption(kIdCancel, "Cancel");
    model.windowTitle = "";
    camera.reset();

    const bool camLink = factory_.camLinkAvailable();
    model.enable(kIdRadioCameraLink, camLink);
    if (!camLink && interfaceType == kInterfaceCameraLink) interfaceType = kInterfaceComPort;
    model.check(kIdRadioComPort, false);
    model.check(kIdRadioCameraLink, false);

    FillPortList(interfaceType);
    if (portNumber < 0 || portNumber > kPortCount - 1) portNumber = 0;
    model.control(kIdPortList).selected = portNumber;
    model.enable(kIdOk, false);
    ShowStatus("Select Interface Type\nSelect Port\nConnect\n");
}

void CMorvatDlg::FillPortList(int type) {
    Control& list = model.control(kIdPortList);
    list.items.clear();
    for (int i = 0; i < kPortCount; ++i) {
        char name[32];
        if (type == kInterfaceCameraLink) {
            std::snprintf(name, sizeof name, "CamLinkPort_%d", i);
        } else {
            std::snprintf(name, sizeof name, "ComPort_%d", i + 1);
        }
        list.items.push_back(name);
    }
    list.selected = -1;
}

void CMorvatDlg::ShowStatus(const std::string& text) {
    model.setCaption(kIdConnectionStatus, text);
    host_.modelChanged(model);
}

void CMorvatDlg::OnInterfaceType(int type) {
    if (type != kInterfaceComPort && type != kInterfaceCameraLink) return;
    if (type == kInterfaceCameraLink && !model.isEnabled(kIdRadioCameraLink)) return;
    model.check(kIdRadioComPort, type == kInterfaceComPort);
    model.check(kIdRadioCameraLink, type == kInterfaceCameraLink);
    if (camera) {
        camera->Close();
        camera.reset();
    }
    FillPortList(type);
    model.control(kIdPortList).selected = 0;
    ShowStatus("Select Port\nConnect");
    interfaceType = type;
    camera = MakeCameraLink(factory_, type, emergencyMode);
}

void CMorvatDlg::OnPortSelected(int index) {
    Control& list = model.control(kIdPortList);
    list.selected = index >= 0 && index < int(list.items.size()) ? index : -1;
}

void CMorvatDlg::OnConnect() {
    portNumber = model.control(kIdPortList).selected;
    if (!camera) {
        if (model.isChecked(kIdRadioComPort)) {
            interfaceType = kInterfaceComPort;
        } else if (model.isChecked(kIdRadioCameraLink)) {
            interfaceType = kInterfaceCameraLink;
        } else {
            interfaceType = -1;  // no type chosen
        }
        camera = MakeCameraLink(factory_, interfaceType, emergencyMode);
    }
    protocol::ErrorCode lastOpen = protocol::kOk;
    bool attempted = false;
    if (camera && portNumber >= 0) {
        const std::string refusal = ConnectionRefusal(*camera, grabberDll);
        if (!refusal.empty()) {
            model.enable(kIdOk, false);
            camera.reset();
            ShowStatus(refusal);
            return;
        }
        attempted = true;
        lastOpen = OpenCameraLink(factory_, *camera, portNumber, grabberDll);
        if (lastOpen != protocol::kOk)
            lastOpen = OpenCameraLink(factory_, *camera, portNumber, kFallbackGrabberDll);
        if (lastOpen == protocol::kOk) {
            Identify();
            return;
        }
        if (lastOpen == protocol::kErrGrabberLibrary) {
            char text[200];
            std::snprintf(text, sizeof text, "Framegrabber %s not found or not supported.\nConnection failed!\n",
                          grabberDll.c_str());
            // Libraries of the other width only: say which, and which program takes them.
            const ConnectionCause width =
                ExplainFailedOpen(factory_, *camera, portNumber, lastOpen);
            model.enable(kIdOk, false);
            camera.reset();
            ShowStatus(width.name == kWrongWidthCause ? width.line + "\nConnection failed!\n"
                                                      : std::string(text));
            return;
        }
    }
    // Without a new attempt an earlier connection still stands.
    if (connected() && !attempted) return;
    ConnectFailed(lastOpen, attempted);
}

void CMorvatDlg::ConnectFailed(protocol::ErrorCode lastOpen, bool attempted) {
    // The failed open has closed whatever camera an earlier Connect found on the link.
    connectionCause = {};
    if (attempted && camera)
        connectionCause = ExplainFailedOpen(factory_, *camera, portNumber, lastOpen);
    const std::string cause = connectionCause.line.empty() ? "" : "\n" + connectionCause.line;
    if (emergencyMode) {
        if (attempted && lastOpen == protocol::kCamEmergencyConnected) {
            ShowStatus("Camera connected in Emergency Mode\nSelect other Interface Type or Port\nor proceed with OK or Cancel");
        } else {
            ShowStatus("No Camera connected in Emergency Mode\nSelect other Interface Type or Port\nor proceed with OK or Cancel" +
                       cause);
        }
        model.enable(kIdOk);
        host_.modelChanged(model);
        return;
    }
    model.enable(kIdOk, false);
    camera.reset();
    ShowStatus("No Camera connected\nSelect other Interface Type or Port\nConnect\n" +
               (cause.empty() ? "" : connectionCause.line + "\n"));
}

// After a successful open: report the camera and read its description and type.
void CMorvatDlg::Identify() {
    model.enable(kIdOk);
    ShowStatus(CameraFoundText(*camera));

    using namespace protocol;
    std::array<uint8_t, cap::GET_CAMERA_DESCRIPTION> description{};
    const Request describe = simpleRequest(cmd::GET_CAMERA_DESCRIPTION);
    if (camera->Command(describe.data(), describe.size, description.data(), description.size(),
                        timeout::GET_CAMERA_DESCRIPTION) == kOk)
        std::memcpy(camera->cameraDescription, &description[field::CAMERA_DESCRIPTION],
                    field::CAMERA_DESCRIPTION_SIZE);
    camera->ReadCameraType();
}

void CMorvatDlg::OnOK() { EndDialog(kResultOk); }

void CMorvatDlg::OnCancel() { EndDialog(kResultCancel); }

void CMorvatDlg::EndDialog(int result) {
    model.ended = true;
    model.result = result;
    host_.modelChanged(model);
}

// The menu entry's own number opens the about box. (Masking the low four bits off the number, as
// the toolkit's convention for its own commands goes, would never match 104.)
void CMorvatDlg::OnSysCommand(unsigned command) {
    if (command == kIdAboutBox) host_.showAboutBox(kAboutTitle, kAboutText);
}

}  // namespace app

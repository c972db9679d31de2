// The main dialog's own flows: initialisation, the direct connection, Select Port, Quit and
// closing, and the packet mode switch.

#include "programmer/app/prog_dlg.h"

#include "programmer/app/camera_connection.h"
#include "programmer/app/cmorvat_dlg.h"
#include "programmer/camera/wait_cycle.h"
#include "protocol/commands.h"

namespace app {

namespace {
constexpr const char* kNoDeviceSelected = "No Device selected! Try again or close programmer\n";
}  // namespace

ProgDlg::ProgDlg(Host& host, CameraFactory& factory)
    : packetButton(host), host_(host), factory_(factory), waitHost_(*this) {
    model.setCaption(kIdSelectPort, "Select Port");
    model.setCaption(kIdLoadFile, "Load File");
    model.setCaption(kIdProgram, "Program");
    model.setCaption(kIdPacket, "Packet");
    model.setCaption(kIdReboot, "Reboot");
    model.setCaption(kIdQuit, "Quit");
    for (int row = 0; row < kRowCount; ++row) {
        model.setCaption(checkBoxId(row), files::kDeviceCaptions[static_cast<size_t>(row)]);
        model.enable(checkBoxId(row), false);  // created disabled
    }
}

// Deleting the camera link closes it.
ProgDlg::~ProgDlg() = default;

void ProgDlg::OnInitDialog() {
    loaded.freeBuffers();
    for (int row = 0; row < kRowCount; ++row) {
        SetProgress(row, 0);
        SetRowState(row, ROW_IDLE);
        CheckDevice(row, false);
        SetCurrentFwText(row, protocol::kNoVersionText);
        SetLoadedFwText(row, protocol::kNoVersionText);
        loaded.present[static_cast<size_t>(row)] = false;
    }
    packetButton.Attach(this);

    statusText = std::string(options.emergencyMode ? ProgramTitleEmergency : ProgramTitle) + " ";
    model.windowTitle = statusText;

    DisableAllControls();
    model.enable(kIdQuit);
    if (options.packetMode == kPacketDevice) model.setCaption(kIdPacket, "DevicePacket");

    if (options.packetMode == kPacketFile) {
        model.setCaption(kIdPacket, "FilePacket");
        model.enable(kIdPacket);
        model.enable(kIdSelectPort);
        for (int row = 0; row < kRowCount; ++row) EnableDevice(row);
        ShowStatus("Select Devices and create Packet from Device Files, or close programmer");
        return;
    }
    if (!options.connectWithoutDialog) {
        model.enable(kIdSelectPort);
        Changed();
        host_.post([this] { OnSelectPort(); });
        return;
    }
    ConnectDirectly();
}

void ProgDlg::ConnectDirectly() {
    camera = MakeCameraLink(factory_, options.interfaceType, options.emergencyMode);
    if (!camera) {
        statusText = "Wrong interface type\n,Change parameters and try again\n";
        host_.warning(statusText);
        EndDialog(0);
        return;
    }
    if (const std::string refusal = ConnectionRefusal(*camera, options.grabberDll);
        !refusal.empty()) {
        camera.reset();
        statusText = refusal;
        host_.warning(statusText);
        EndDialog(0);
        return;
    }
    connectionCause = {};
    // The window answers while the link searches: nothing may look clickable meanwhile.
    DisableAllControls();
    const protocol::ErrorCode opened =
        OpenCameraLink(factory_, *camera, options.portNumber, options.grabberDll);
    if (opened != protocol::kOk)
        connectionCause = ExplainFailedOpen(factory_, *camera, options.portNumber, opened);
    const bool connected = cameraConnected();
    if (!connected && !options.emergencyMode) {
        camera.reset();
        statusText = "Cannot connect camera\nChange parameters and try again\n";
        if (!connectionCause.line.empty())
            statusText += connectionCause.line + "\n";
        host_.warning(statusText);
        EndDialog(0);
        return;
    }
    DisableAllControls();
    if (connected) {
        EnableAfterConnection(false);
        statusText = CameraFoundText(*camera) + "   " + kLoadOrSelect;
    } else {
        model.enable(kIdSelectPort);
        model.enable(kIdQuit);
        model.enable(kIdLoadFile);
        statusText = std::string("!No camera connected!  ") + kLoadOrSelect;
    }
    ShowStatus();
}

void ProgDlg::EnableAfterConnection(bool afterSelectPort) {
    if (ReadCameraInfo()) {
        if (options.packetMode != kPacketNormal) {
            model.enable(kIdPacket);
            if (afterSelectPort) {
                for (int row = 0; row < kRowCount; ++row)
                    if (deviceAvailable[static_cast<size_t>(row)]) EnableDevice(row);
            }
            if (options.emergencyMode) model.enable(kIdLoadFile);
        } else {
            model.enable(kIdLoadFile);
        }
    } else if (camera && camera->bootMode) {
        EnableDevice(0);
        model.enable(kIdLoadFile);
    }
    model.enable(kIdReboot);
    model.enable(kIdSelectPort);
    model.enable(kIdQuit);
    Changed();
}

void ProgDlg::OnSelectPort() {
    if (camera) {
        CloseCamera();
        for (int row = 0; row < kRowCount; ++row) SetCurrentFwText(row, protocol::kNoVersionText);
    }
    CMorvatDlg connection(host_, factory_);
    connection.interfaceType = options.interfaceType;
    connection.portNumber = options.portNumber;
    connection.emergencyMode = options.emergencyMode;
    if (!options.grabberDll.empty()) connection.SetGrabberDll(options.grabberDll);

    if (host_.runConnectionDialog(connection) == kResultOk) {
        options.interfaceType = connection.interfaceType;
        options.portNumber = connection.portNumber;
        if (connection.camera) {
            camera = std::move(connection.camera);
            DisableAllControls();
            if (camera->connected) {
                EnableAfterConnection(true);
                statusText = kLoadOrSelect;
            } else {
                model.enable(kIdSelectPort);
                model.enable(kIdQuit);
                if (options.emergencyMode) {
                    model.enable(kIdLoadFile);
                    statusText = kLoadOrSelect;
                } else {
                    statusText = kNoDeviceSelected;
                }
            }
        } else {
            statusText = kNoDeviceSelected;
            DisableAllControls();
            model.enable(kIdSelectPort);
            model.enable(kIdQuit);
        }
        ShowStatus();
    } else {
        if (connection.camera) {
            connection.camera->Close();
            connection.camera.reset();
        }
        ShowStatus(kNoDeviceSelected);
        DisableAllControls();
        model.enable(kIdSelectPort);
        model.enable(kIdQuit);
    }
    if (options.packetMode == kPacketFile) model.enable(kIdPacket);
    Changed();
}

void ProgDlg::ReleaseOnEnd() {
    camera::waitPumping(waitHost_, platform::Milliseconds(200));
    if (loaded.hasImage()) loaded.freeBuffers();
    CloseCamera();
}

void ProgDlg::OnQuit() {
    ReleaseOnEnd();
    EndDialog(0);
}

void ProgDlg::OnClose() {
    ReleaseOnEnd();
    EndDialog(kResultCancel);
}

void ProgDlg::OnCancel() { OnClose(); }

void ProgDlg::AfterFailure() {
    programmingRun = false;
    model.windowTitle =
        std::string(options.emergencyMode ? ProgramTitleEmergency : ProgramTitle) + " ";
    RefreshControls();
}

void ProgDlg::CloseCamera() {
    if (!camera) return;
    camera->Close();
    camera.reset();
}

void ProgDlg::EndDialog(int result) {
    model.ended = true;
    model.result = result;
    Changed();
}

void ProgDlg::OnMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message == WM_TOGGLE_PACKET_MODE) OnTogglePacketMode(wParam, lParam);
}

intptr_t ProgDlg::OnTogglePacketMode(uintptr_t wParam, intptr_t /*lParam*/) {
    if (wParam != static_cast<uintptr_t>(kIdPacket) || options.packetMode == kPacketNormal) return 0;
    options.packetMode = options.packetMode == kPacketFile ? kPacketDevice : kPacketFile;
    if (options.packetMode == kPacketDevice) {
        if (cameraConnected()) {
            model.setCaption(kIdPacket, "DevicePacket");
        } else {
            options.packetMode = kPacketFile;
        }
    }
    if (options.packetMode == kPacketFile) model.setCaption(kIdPacket, "FilePacket");
    RefreshControls();
    return 0;
}

}  // namespace app

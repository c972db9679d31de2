#pragma once
// The connection dialog: the user picks the interface type and port and tries the connection.
// It makes the camera link and owns it until the main dialog takes it over on OK.

#include <memory>
#include <string>

#include "programmer/app/camera_factory.h"
#include "programmer/app/dialog_model.h"
#include "programmer/app/host.h"
#include "programmer/camera/cam_update.h"

namespace app {

constexpr const char* kAboutMenuEntry = "Inf&o über morvat...";
constexpr const char* kAboutTitle = "Info über morvat";
constexpr const char* kAboutText = "morvat Version 1.06\nCamera firmware programmer";
constexpr const char* kFallbackGrabberDll = "clsersis.dll";

class CMorvatDlg {
public:
    CMorvatDlg(Host& host, CameraFactory& factory);
    CMorvatDlg(const CMorvatDlg&) = delete;
    CMorvatDlg& operator=(const CMorvatDlg&) = delete;

    // ---- Events ----
    void OnInitDialog();
    void OnInterfaceType(int type);  // radio buttons: 0 "ComPort" (1050), 2 "CameraLink" (1052)
    void OnPortSelected(int index);  // the user picked an entry of the port list
    void OnConnect();                // button 1011
    void OnOK();                     // result 1
    void OnCancel();                 // Cancel, Escape and closing the window: result 2
    void OnSysCommand(unsigned command);

    // Sets the frame grabber library name; a Camera Link Connect refuses one that is too long.
    void SetGrabberDll(const std::string& name);

    // ---- State (in before the run, out after it) ----
    DialogModel model;
    int interfaceType = 0;
    int portNumber = 0;
    bool emergencyMode = false;
    std::string grabberDll;
    std::unique_ptr<camera::CCamUpdate> camera;
    // The link has found a camera.
    bool connected() const { return camera && camera->connected; }
    // Why the last Connect found no camera (empty when nothing is known).
    ConnectionCause connectionCause;

private:
    void FillPortList(int type);
    void ShowStatus(const std::string& text);
    void Identify();
    // After a Connect that did not reach a camera: the link is not offered for OK.
    void ConnectFailed(protocol::ErrorCode lastOpen, bool attempted);
    void EndDialog(int result);

    Host& host_;
    CameraFactory& factory_;
};

}  // namespace app

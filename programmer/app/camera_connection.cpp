#include "programmer/app/camera_connection.h"

#include <cstdio>

#include "programmer/app/prog_log.h"
#include "programmer/app/start_options.h"
#include "protocol/commands.h"

namespace app {

std::unique_ptr<camera::CCamUpdate> MakeCameraLink(CameraFactory& factory, int type,
                                                   bool emergency) {
    if (type == kInterfaceComPort) return factory.makeCom(emergency);
    if (type == kInterfaceCameraLink) return factory.makeCamLink(emergency);
    return nullptr;
}

std::string ConnectionRefusal(const camera::CCamUpdate& link, const std::string& grabberDll) {
    // Only the Camera Link road loads a grabber library.
    return link.interfaceType == kInterfaceCameraLink ? GrabberDllRefusal(grabberDll)
                                                      : std::string();
}

protocol::ErrorCode OpenCameraLink(CameraFactory& factory, camera::CCamUpdate& link, int port,
                                   const std::string& grabberDll) {
    if (!grabberDll.empty())
        std::snprintf(link.grabberDll, sizeof link.grabberDll, "%s", grabberDll.c_str());
    return factory.openLink(link, port);
}

std::string CameraFoundText(const camera::CCamUpdate& link) {
    if (link.serialNumber == protocol::kBootModeSerialNumber) return "Camera found in Boot mode";
    char text[64];
    std::snprintf(text, sizeof text, "Camera SNr. %d found", static_cast<int>(link.serialNumber));
    return text;
}

ConnectionCause ExplainFailedOpen(CameraFactory& factory, const camera::CCamUpdate& link, int port,
                                  protocol::ErrorCode opened) {
    ConnectionCause cause = factory.explainFailedOpen(link, port, opened);
    if (!cause.line.empty()) LogPrintf("%s", cause.line.c_str());
    return cause;
}

}  // namespace app

#include "programmer/app/default_camera_factory.h"

#include "platform/port_diagnosis.h"
#include "platform/serial_port.h"
#include "programmer/app/grabber_width.h"
#include "programmer/camera/cam_link_update.h"
#include "programmer/camera/com_update.h"

namespace app {

std::unique_ptr<camera::CCamUpdate> DefaultCameraFactory::makeCom(bool emergencyMode) {
    auto link = std::make_unique<camera::CComUpdate>(emergencyMode, log_, clock_, comDevice_);
    link->recorder = recorder;
    link->setCallRunner(runner_);
    return link;
}

std::unique_ptr<camera::CCamUpdate> DefaultCameraFactory::makeCamLink(bool emergencyMode) {
    auto link = std::make_unique<camera::CCamLinkUpdate>(emergencyMode);
    link->recorder = recorder;
    link->setCallRunner(runner_);
    return link;
}

ConnectionCause DefaultCameraFactory::explainFailedOpen(const camera::CCamUpdate& link, int port,
                                                        protocol::ErrorCode error) {
    if (dynamic_cast<const camera::CCamLinkUpdate*>(&link) != nullptr) {
        // A library that is missing has its own message, unless only libraries of the other
        // processor width are there.
        if (error == protocol::kErrGrabberLibrary)
            return GrabberWidthCause(FindGrabberCandidates(), sizeof(void*) == 8);
        return {platform::portCauseName(platform::PortCause::kNoAnswer),
                "Cause: no camera answered on CamLinkPort_" + std::to_string(port) + " of " +
                    link.grabberDll +
                    " at the rates tried (9600 to 115200 baud); check the cable, the camera's "
                    "power and the frame grabber's port."};
    }
    const platform::PortDiagnosis diagnosis =
        platform::diagnosePort(comDevice_.empty() ? platform::comPortPath(port + 1) : comDevice_,
                               {camera::kComPortBaudRate});
    return {platform::portCauseName(diagnosis.cause), diagnosis.line};
}

bool DefaultCameraFactory::libraryReady(const camera::CCamUpdate& link) const {
    const auto* camLink = dynamic_cast<const camera::CCamLinkUpdate*>(&link);
    return camLink == nullptr || camLink->libraryReady();
}

}  // namespace app

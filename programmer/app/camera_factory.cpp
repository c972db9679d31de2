#include "programmer/app/camera_factory.h"

namespace app {

bool CameraFactory::camLinkAvailable() {
    const auto probe = makeCamLink(false);
    return probe && libraryReady(*probe);
}

protocol::ErrorCode CameraFactory::openLink(camera::CCamUpdate& link, int port) {
    if (!libraryReady(link)) return protocol::kErrGrabberLibrary;
    return link.Open(port);
}

}  // namespace app

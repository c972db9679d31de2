#include "programmer/app/default_camera_factory.h"

#include "programmer/camera/cam_link_update.h"
#include "programmer/camera/com_update.h"

namespace app {

std::unique_ptr<camera::CCamUpdate> DefaultCameraFactory::makeCom(bool emergencyMode) {
    return std::make_unique<camera::CComUpdate>(emergencyMode, log_, clock_);
}

std::unique_ptr<camera::CCamUpdate> DefaultCameraFactory::makeCamLink(bool emergencyMode) {
    return std::make_unique<camera::CCamLinkUpdate>(emergencyMode, clock_);
}

bool DefaultCameraFactory::libraryReady(const camera::CCamUpdate& link) const {
    const auto* camLink = dynamic_cast<const camera::CCamLinkUpdate*>(&link);
    return camLink == nullptr || camLink->libraryReady();
}

}  // namespace app

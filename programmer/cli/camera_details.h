#pragma once
// What `info` shows beyond the dialog's state: the camera type and the hardware boards, asked
// once more of a connected camera after the camera information was read.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "programmer/camera/cam_update.h"

namespace cli {

struct HardwareBoard {
    std::string name;
    uint16_t codeA = 0;
    uint16_t codeB = 0;
};

struct CameraDetails {
    std::optional<uint16_t> cameraType;                // nothing when the camera did not answer
    std::optional<std::vector<HardwareBoard>> boards;  // nothing when the records did not come
};

// Sends GET_CAMERA_TYPE and GET_HARDWARE_VERSIONS once each; nothing is changed in the camera.
CameraDetails readCameraDetails(camera::CCamUpdate& link);

}  // namespace cli

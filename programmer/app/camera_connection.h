#pragma once
// Reaching the camera, for the connection dialog and for a start without it: the link of the
// chosen interface type, the refusal of a grabber library name the link cannot hold, the open,
// the words for what it found and why it found nothing. Whether a camera was found is the link's
// own `connected`: nothing else keeps that fact.

#include <memory>
#include <string>

#include "programmer/app/camera_factory.h"
#include "programmer/camera/cam_update.h"
#include "protocol/error_codes.h"

namespace app {

// A link of `type` (COM port or Camera Link), not opened; null for any other type.
std::unique_ptr<camera::CCamUpdate> MakeCameraLink(CameraFactory& factory, int type,
                                                   bool emergency);

// Empty when `link` may go ahead with `grabberDll`; else the message why the connection fails.
std::string ConnectionRefusal(const camera::CCamUpdate& link, const std::string& grabberDll);

// Hands `grabberDll` (unless empty) to the link and opens `port`.
protocol::ErrorCode OpenCameraLink(CameraFactory& factory, camera::CCamUpdate& link, int port,
                                   const std::string& grabberDll);

// "Camera SNr. 1234 found", or "Camera found in Boot mode" for a camera without firmware.
std::string CameraFoundText(const camera::CCamUpdate& link);

// Why the open of `port` found no camera; a known cause also goes to the log.
ConnectionCause ExplainFailedOpen(CameraFactory& factory, const camera::CCamUpdate& link, int port,
                                  protocol::ErrorCode opened);

}  // namespace app

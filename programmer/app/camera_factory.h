#pragma once
// Makes the camera link objects for the dialogs, so that tests can hand them fakes.

#include <memory>
#include <string>

#include "programmer/camera/cam_update.h"

namespace app {

// Why a connection failed: a machine-readable name ("missing", "permission", "no-answer", ...)
// and one line for the user with the cause and the next step. Empty when nothing is known.
struct ConnectionCause {
    std::string name;
    std::string line;
};

class CameraFactory {
public:
    virtual ~CameraFactory() = default;
    // A COM-port link (interface type 0), not opened.
    virtual std::unique_ptr<camera::CCamUpdate> makeCom(bool emergencyMode) = 0;
    // A Camera Link link (interface type 2) through the serial interface library, not opened.
    virtual std::unique_ptr<camera::CCamUpdate> makeCamLink(bool emergencyMode) = 0;
    // False for a Camera Link link whose library or one of its functions is missing; such a link
    // must not be opened. True for every other link.
    virtual bool libraryReady(const camera::CCamUpdate& link) const = 0;

    // Where the links made from now on report their exchanges; null: no recording.
    camera::SessionRecorder* recorder = nullptr;

    // Builds a Camera Link link only to see whether its library is usable, and drops it again.
    bool camLinkAvailable();
    // Opens `link` on `port`; a link whose library is not ready counts as a failed open.
    protocol::ErrorCode openLink(camera::CCamUpdate& link, int port);
    // After a failed open of `link` on `port` with `error`: what went wrong.
    virtual ConnectionCause explainFailedOpen(const camera::CCamUpdate& /*link*/, int /*port*/,
                                              protocol::ErrorCode /*error*/) {
        return {};
    }
};

}  // namespace app

#include "programmer/app/session_recording.h"

#include "platform/com_port.h"
#include "project_version.h"
#include "protocol/com_transport.h"

namespace app {

namespace {
// The grabber's rate when a board is opened, before the link's own search changes it.
constexpr uint32_t kCameraLinkStartRate = 9600;
}  // namespace

std::unique_ptr<camera::SessionRecorder> StartRecording(const std::string& path,
                                                        const StartOptions& start,
                                                        const std::string& program,
                                                        platform::Clock& clock,
                                                        std::string& error) {
    camera::SessionRecorder::Setup setup;
    setup.program = program;
    setup.version = KF_PROJECT_VERSION;
    setup.port = start.portNumber;
    if (start.interfaceType == kInterfaceCameraLink) {
        setup.interface = "camlink";
        setup.grabber = start.grabberDll;
        setup.rates = {kCameraLinkStartRate};
    } else {
        setup.interface = "com";
        setup.device = platform::comPortPath(start.portNumber + 1);
        setup.rates = {protocol::kProgrammerBaudRate};
    }
    return camera::SessionRecorder::create(path, setup, clock, error);
}

}  // namespace app

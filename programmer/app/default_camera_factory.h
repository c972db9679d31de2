#pragma once
// The camera links of the programs: CComUpdate and CCamLinkUpdate.

#include <string>

#include "platform/clock.h"
#include "programmer/app/camera_factory.h"
#include "protocol/log_sink.h"

namespace app {

class DefaultCameraFactory : public CameraFactory {
public:
    // `log` receives the COM-port transport's lines (LogPrintfSink in the programs).
    DefaultCameraFactory(protocol::LogSink& log, platform::Clock& clock) : log_(log), clock_(clock) {}
    // COM-port links open `device` instead of the port number's device (empty: the number's).
    DefaultCameraFactory(protocol::LogSink& log, platform::Clock& clock, std::string device)
        : log_(log), clock_(clock), comDevice_(std::move(device)) {}

    std::unique_ptr<camera::CCamUpdate> makeCom(bool emergencyMode) override;
    std::unique_ptr<camera::CCamUpdate> makeCamLink(bool emergencyMode) override;
    bool libraryReady(const camera::CCamUpdate& link) const override;
    ConnectionCause explainFailedOpen(const camera::CCamUpdate& link, int port,
                                      protocol::ErrorCode error) override;
    // The links made from now on run their blocking calls through `runner` (null: directly).
    void setCallRunner(camera::CallRunner* runner) { runner_ = runner; }

private:
    camera::CallRunner* runner_ = nullptr;
    protocol::LogSink& log_;
    platform::Clock& clock_;
    std::string comDevice_;
};

}  // namespace app

#include "programmer/cli/camera_session.h"

#include <unistd.h>

#include "platform/clock.h"
#include "programmer/app/default_camera_factory.h"
#include "programmer/app/prog_log.h"
#include "programmer/app/session_recording.h"
#include "programmer/cli/subcommand.h"

namespace cli {

CameraSession::CameraSession(const ConnectionOptions& options)
    : host(platform::realClock(), std::cerr, std::cin, isatty(STDIN_FILENO) != 0),
      options_(options) {
    host.answer = options.yes ? Answer::kYes : options.no ? Answer::kNo : Answer::kAsk;
}

int CameraSession::run(std::function<int(app::ProgDlg&)> steps) {
    app::StartOptions start;
    std::string error;
    if (!applyConnectionOptions(options_, start, error)) {
        std::cerr << "kelvoflash-cli: " << error << "\n";
        return kExitUsage;
    }
    std::unique_ptr<camera::SessionRecorder> recorder;
    if (!options_.record.empty()) {
        recorder = app::StartRecording(options_.record, start, "kelvoflash-cli",
                                       platform::realClock(), error);
        if (!recorder) {
            std::cerr << "kelvoflash-cli: " << error << "\n";
            return kExitFailed;
        }
    }

    if (options_.log && !app::OpenLog(app::kLogFileName, app::CurrentLocalTime()))
        host.note(app::LogOpenFailure());

    app::LogPrintfSink log;
    app::DefaultCameraFactory factory(log, platform::realClock());
    factory.recorder = recorder.get();
    {
        app::ProgDlg dialog(host, factory);
        start.packetMode = packetMode;
        dialog.SetOptions(start);
        host.steps = std::move(steps);
        host.runMainDialog(dialog);
        host.steps = nullptr;
    }
    app::CloseLog(app::CurrentLocalTime());
    return host.stepsResult;
}

}  // namespace cli

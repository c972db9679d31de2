#include "programmer/cli/camera_session.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

#include <nlohmann/json.hpp>

#include "platform/clock.h"
#include "programmer/app/default_camera_factory.h"
#include "programmer/app/prog_log.h"
#include "programmer/app/session_recording.h"
#include "programmer/cli/devices.h"
#include "programmer/cli/program_plan.h"
#include "programmer/cli/subcommand.h"
#include "programmer/files/append_record.h"

namespace cli {

namespace {

// A camera in boot mode reports no serial number.
bool serialKnown(const app::ProgDlg& dialog) {
    return !dialog.Model().ended && dialog.cameraConnected() && dialog.link()->bootMode == 0;
}

// What the camera reported on connecting, for the run of several cameras that started this one.
nlohmann::json cameraEvent(const app::ProgDlg& dialog) {
    using nlohmann::json;
    json event = {{"event", "camera"},
                  {"connected", false},
                  {"serial", nullptr},
                  {"type", nullptr},
                  {"versions", json::object()}};
    if (dialog.Model().ended || !dialog.cameraConnected())
        return event;
    event["connected"] = true;
    if (serialKnown(dialog))
        event["serial"] = dialog.link()->serialNumber;
    if (dialog.CameraTypeRead()) {
        char type[8];
        std::snprintf(type, sizeof type, "0x%04X", unsigned(*dialog.CameraTypeRead()));
        event["type"] = type;
    }
    for (int row = 0; row < app::kRowCount; ++row)
        event["versions"][deviceCaption(row)] = versionText(dialog, row);
    return event;
}

// Without a serial number: the port, with what a file name cannot hold replaced.
std::string logNameOf(const app::ProgDlg* dialog, const std::string& port) {
    if (dialog != nullptr && serialKnown(*dialog))
        return "prog_log-" + std::to_string(dialog->link()->serialNumber) + ".txt";
    std::string name = port;
    for (char& c : name)
        if (c == '/' || c == '\\' || c == ':')
            c = '_';
    return "prog_log-port" + name + ".txt";
}

}  // namespace

CameraSession::CameraSession(const ConnectionOptions& options, std::string command,
                             std::string file)
    : host(platform::realClock(), std::cerr, std::cin, isatty(STDIN_FILENO) != 0),
      record(std::move(command), options, std::move(file)),
      options_(options) {
    host.answer = options.yes ? Answer::kYes : options.no ? Answer::kNo : Answer::kAsk;
}

int CameraSession::run(std::function<int(app::ProgDlg&)> steps) {
    app::StartOptions start;
    std::string device, error;
    if (!applyConnectionOptions(options_, start, device, error)) {
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
    // A record that could not be kept refuses the run before anything is sent to the camera.
    if (!options_.report.empty()) {
        if (const int failure = files::appendRecord(options_.report, "")) {
            host.note("Cannot append the run's record to " + options_.report + ": " +
                      std::strerror(failure));
            return kExitFailed;
        }
    }
    // One camera of several logs into a file of its own, named once the camera is known.
    const bool ownLog = options_.log && options_.child;
    if (ownLog)
        app::HoldLogUntilOpened();
    else if (options_.log && !app::OpenLog(app::kLogFileName, app::CurrentLocalTime()))
        host.note(app::LogOpenFailure());

    app::LogPrintfSink log;
    app::DefaultCameraFactory factory(log, platform::realClock(), device);
    factory.recorder = recorder.get();
    {
        app::ProgDlg dialog(host, factory);
        start.packetMode = packetMode;
        dialog.SetOptions(start);
        host.steps = [&](app::ProgDlg& connected) {
            if (ownLog &&
                !app::OpenLog(logNameOf(&connected, options_.port), app::CurrentLocalTime()))
                host.note(app::LogOpenFailure());
            record.cameraConnected(connected);
            if (options_.child)
                std::cout << cameraEvent(connected).dump(-1, ' ', false,
                                                         nlohmann::json::error_handler_t::replace)
                          << "\n"
                          << std::flush;
            return steps(connected);
        };
        host.runMainDialog(dialog);
        host.steps = nullptr;
    }
    if (ownLog && !app::LogIsOpen() &&
        !app::OpenLog(logNameOf(nullptr, options_.port), app::CurrentLocalTime()))
        host.note(app::LogOpenFailure());
    app::CloseLog(app::CurrentLocalTime());
    if (const std::string failure = record.append(host.stepsResult); !failure.empty()) {
        host.note(failure);
        return host.stepsResult == kExitOk ? kExitFailed : host.stepsResult;
    }
    return host.stepsResult;
}

}  // namespace cli

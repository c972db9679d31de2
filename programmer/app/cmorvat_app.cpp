#include "programmer/app/cmorvat_app.h"

#include <memory>

#include "programmer/app/prog_dlg.h"
#include "programmer/app/session_recording.h"

namespace app {

void OpenRequestedLog(const CommandLineRequest& request, const std::string& path,
                      const LocalTime& now, const std::function<void(const std::string&)>& warn) {
    if (request.openLog && !OpenLog(path, now))
        warn(LogOpenFailure() + "\n");
}

bool CMorvatApp::InitInstance(const std::string& arguments) {
    auto dialog = std::make_unique<ProgDlg>(host_, factory_);
    StartOptions options;
    const CommandLineRequest request = ParseCommandLine(arguments, options);
    dialog->SetOptions(options);
    OpenRequestedLog(request, logPath, localTime(),
                     [this](const std::string& text) { host_.warning(text); });
    std::unique_ptr<camera::SessionRecorder> recorder;
    if (!request.recordPath.empty() && !request.helpRequested) {
        std::string error;
        recorder = StartRecording(request.recordPath, options, program, host_.clock(), error);
        // The run goes on unrecorded: the recording helps to find a fault, it is not the work.
        if (!recorder) host_.warning(error + "\n");
    }
    factory_.recorder = recorder.get();
    if (request.helpRequested) {
        host_.messageBox(UsageText(), kUsageCaption, BoxIcon::None);
    } else {
        mainDialogResult = host_.runMainDialog(*dialog);
    }
    dialog.reset();
    factory_.recorder = nullptr;
    return false;
}

int CMorvatApp::ExitInstance() {
    CloseLog(localTime());
    return 0;
}

}  // namespace app

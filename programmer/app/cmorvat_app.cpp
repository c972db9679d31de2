#include "programmer/app/cmorvat_app.h"

#include <memory>

#include "programmer/app/prog_dlg.h"

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
    if (request.helpRequested) {
        host_.messageBox(UsageText(), kUsageCaption, BoxIcon::None);
    } else {
        mainDialogResult = host_.runMainDialog(*dialog);
    }
    dialog.reset();
    return false;
}

int CMorvatApp::ExitInstance() {
    CloseLog(localTime());
    return 0;
}

}  // namespace app

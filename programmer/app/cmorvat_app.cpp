#include "programmer/app/cmorvat_app.h"

#include <memory>

#include "programmer/app/command_line.h"
#include "programmer/app/prog_dlg.h"

namespace app {

bool CMorvatApp::InitInstance(const std::string& arguments) {
    auto dialog = std::make_unique<ProgDlg>(host_, factory_);
    dialog->options.grabberDll = kDefaultGrabberDll;
    const CommandLineRequest request = ParseCommandLine(arguments, dialog->options);
    if (request.openLog && !OpenLog(logPath, localTime())) host_.warning(LogOpenFailure() + "\n");
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

// The flows as front ends without file dialogs or check boxes drive them: the console names the
// files and devices, and hands over its listeners for one run.

#include <algorithm>

#include "programmer/app/prog_dlg.h"

namespace app {

void ProgDlg::ChooseDevices(const std::vector<int>& rows) {
    for (int row = 0; row < kRowCount; ++row)
        CheckDevice(row, std::find(rows.begin(), rows.end(), row) != rows.end());
}

void ProgDlg::RunWithHooks(const RunHooks& hooks, const std::function<void()>& run) {
    runHooks = hooks;
    run();
    runHooks = {};
}

void ProgDlg::Program(const RunHooks& hooks) {
    RunWithHooks(hooks, [this] { OnProgram(); });
}

void ProgDlg::Backup(const std::string& file, const RunHooks& hooks) {
    namedFiles_ = {file, {}};
    RunWithHooks(hooks, [this] { OnPacket(); });
    namedFiles_ = {};
}

void ProgDlg::Pack(const std::string& file, const std::array<std::string, kRowCount>& deviceFiles) {
    namedFiles_ = {file, {}};
    for (int row = 0; row < kRowCount; ++row) {
        const std::string& path = deviceFiles[size_t(row)];
        CheckDevice(row, !path.empty());
        if (!path.empty())
            namedFiles_.devices[size_t(row)] = path;
    }
    OnPacket();
    namedFiles_ = {};
}

}  // namespace app

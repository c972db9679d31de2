#pragma once
// The main dialog over cameras of camsim's model and a scripted user, in virtual time.

#include <set>
#include <string>

#include "programmer/app/prog_dlg.h"
#include "tests/support/prog_dlg_access.h"
#include "model_link.h"
#include "scripted_host.h"

namespace apptest {

// The dialog's state as a test sets it up.
inline app::StartOptions& options(app::ProgDlg& d) { return app::ProgDlgTestAccess::options(d); }
inline auto& link(app::ProgDlg& d) { return app::ProgDlgTestAccess::link(d); }
inline bool& programmingRun(app::ProgDlg& d) { return app::ProgDlgTestAccess::programmingRun(d); }
inline auto& deviceAvailable(app::ProgDlg& d) { return app::ProgDlgTestAccess::deviceAvailable(d); }
inline auto& cameraVariant(app::ProgDlg& d) { return app::ProgDlgTestAccess::cameraVariant(d); }
inline auto& cameraVersion(app::ProgDlg& d) { return app::ProgDlgTestAccess::cameraVersion(d); }
inline auto& loaded(app::ProgDlg& d) { return app::ProgDlgTestAccess::loaded(d); }
inline auto& model(app::ProgDlg& d) { return app::ProgDlgTestAccess::model(d); }

struct DialogRig {
    ScriptedHost host;
    ModelFactory factory;
    app::ProgDlg dialog{host, factory};

    // Starts the dialog with `start`, connecting at once as with -S.
    void startConnected(app::StartOptions start = {}) {
        start.connectWithoutDialog = true;
        dialog.SetOptions(start);
        dialog.OnInitDialog();
    }
    std::string status() const { return dialog.Model().caption(app::kIdStatusLine); }
    // The enabled buttons, and with `checkBoxes` the enabled check boxes as well.
    std::set<int> enabled(bool checkBoxes = true) const {
        std::set<int> ids;
        for (const int id : app::kMainButtons)
            if (dialog.Model().isEnabled(id))
                ids.insert(id);
        for (int row = 0; checkBoxes && row < app::kRowCount; ++row)
            if (dialog.Model().isEnabled(app::checkBoxId(row)))
                ids.insert(app::checkBoxId(row));
        return ids;
    }
};

}  // namespace apptest

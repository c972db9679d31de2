#pragma once
// The main dialog over cameras of camsim's model and a scripted user, in virtual time.

#include <set>
#include <string>

#include <gtest/gtest.h>

#include "programmer/app/prog_dlg.h"
#include "tests/support/prog_dlg_access.h"
#include "model_link.h"
#include "scripted_host.h"

namespace apptest {

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
    // The status line; the front ends read the same text as the dialog's typed result.
    std::string status() const {
        const std::string shown = dialog.Model().caption(app::kIdStatusLine);
        EXPECT_EQ(dialog.StatusShown(), shown);
        return shown;
    }
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

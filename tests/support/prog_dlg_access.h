#pragma once
// The main dialog's state as its tests and fuzzers set it up: a link handed over directly, a run
// under way, versions a camera reported. No front end reaches these.

#include "programmer/app/prog_dlg.h"

namespace app {

struct ProgDlgTestAccess {
    static StartOptions& options(ProgDlg& d) { return d.options; }
    static std::unique_ptr<camera::CCamUpdate>& link(ProgDlg& d) { return d.camera; }
    static bool& programmingRun(ProgDlg& d) { return d.programmingRun; }
    static std::array<bool, kRowCount>& deviceAvailable(ProgDlg& d) { return d.deviceAvailable; }
    static std::array<int, kRowCount>& cameraVariant(ProgDlg& d) { return d.cameraVariant; }
    static std::array<int, kRowCount>& cameraVersion(ProgDlg& d) { return d.cameraVersion; }
    static files::LoadedUpdateFile& loaded(ProgDlg& d) { return d.loaded; }
    static DialogModel& model(ProgDlg& d) { return d.model; }
};

}  // namespace app

// A frame grabber library of the other processor width: the refusal names the libraries found
// and the program that can load them; anything else keeps the plain "not found" refusal.

#include "programmer/app/grabber_width.h"

#include <gtest/gtest.h>

#include "dialog_rig.h"
#include "programmer/app/cmorvat_dlg.h"

namespace {

using app::GrabberCandidate;
using files::PeMachine;

const std::string kUse32 =
    ".\nStart the 32-bit kelvoflash (start menu \"kelvoflash (32-bit frame grabbers)\", folder "
    "32-bit) instead.";
const std::string kUse64 =
    ".\nStart the 64-bit kelvoflash (start menu \"kelvoflash\", the installation folder) instead.";

TEST(GrabberWidth, OnlyLibrariesOfTheOtherWidthGiveTheCauseAndNameTheOtherProgram) {
    const GrabberCandidate x86a{"clsera.dll", PeMachine::kX86};
    const GrabberCandidate x86b{"clserb.dll", PeMachine::kX86};
    const GrabberCandidate x64{"clserc.dll", PeMachine::kX64};
    const GrabberCandidate broken{"clserd.dll", PeMachine::kUnreadable};
    const GrabberCandidate arm{"clsere.dll", PeMachine::kOther};
    const struct {
        const char* name;
        std::vector<GrabberCandidate> found;
        bool program64;
        std::string line;  // empty: no cause of this kind
    } cases[] = {
        {"64-bit program, one 32-bit library",
         {x86a},
         true,
         "This 64-bit program cannot load the frame grabber library: only 32-bit ones were found "
         "(clsera.dll)" +
             kUse32},
        {"64-bit program, the same 32-bit library in two places, and an unreadable one",
         {x86a, broken, x86b, x86a},
         true,
         "This 64-bit program cannot load the frame grabber library: only 32-bit ones were found "
         "(clsera.dll, clserb.dll)" +
             kUse32},
        {"32-bit program, one 64-bit library",
         {x64, arm},
         false,
         "This 32-bit program cannot load the frame grabber library: only 64-bit ones were found "
         "(clserc.dll)" +
             kUse64},
        {"64-bit program, a library of its own width too", {x86a, x64}, true, ""},
        {"32-bit program, a library of its own width too", {x64, x86a}, false, ""},
        {"nothing found", {}, true, ""},
        {"only libraries of no known width", {broken, arm}, true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const app::ConnectionCause cause = app::GrabberWidthCause(c.found, c.program64);
        EXPECT_EQ(cause.line, c.line);
        EXPECT_EQ(cause.name, c.line.empty() ? "" : app::kWrongWidthCause);
    }
}

// The connection dialog shows the cause in place of "not found or not supported" and keeps no
// link; a cause of another kind leaves the plain refusal.
class WidthFactory : public apptest::ModelFactory {
public:
    app::ConnectionCause explainFailedOpen(const camera::CCamUpdate&, int,
                                           protocol::ErrorCode error) override {
        ++explained;
        return error == protocol::kErrGrabberLibrary ? cause : app::ConnectionCause{};
    }
    app::ConnectionCause cause;
    int explained = 0;
};

TEST(GrabberWidth, TheConnectionDialogShowsTheCauseInPlaceOfNotFound) {
    const std::string line = app::GrabberWidthCause({{"clsera.dll", PeMachine::kX86}}, true).line;
    const struct {
        const char* name;
        app::ConnectionCause cause;
        std::string status;
    } cases[] = {
        {"other width", {app::kWrongWidthCause, line}, line + "\nConnection failed!\n"},
        {"no cause",
         {},
         "Framegrabber clsera.dll not found or not supported.\nConnection failed!\n"},
        {"a cause of another kind",
         {"missing", "Cause: something else"},
         "Framegrabber clsera.dll not found or not supported.\nConnection failed!\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        apptest::ScriptedHost host;
        WidthFactory factory;
        factory.cause = c.cause;
        factory.camLink.openResults = {protocol::kErrGrabberLibrary, protocol::kErrGrabberLibrary};
        app::CMorvatDlg dialog(host, factory);
        dialog.OnInitDialog();
        dialog.SetGrabberDll("clsera.dll");
        dialog.OnInterfaceType(app::kInterfaceCameraLink);
        dialog.OnPortSelected(0);
        dialog.OnConnect();
        EXPECT_EQ(dialog.model.caption(app::kIdConnectionStatus), c.status);
        EXPECT_EQ(factory.explained, 1);
        EXPECT_FALSE(dialog.camera);
        EXPECT_FALSE(dialog.model.isEnabled(app::kIdOk));
    }
}

}  // namespace

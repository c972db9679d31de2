// A handler that throws half-way through its flow (what the front ends catch): the text of the box
// they show, and the title and controls the dialog is left with, as its flow leaves them when it
// ends. Camsim's camera model in process, virtual time.

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>

#include "programmer/app/handler_queue.h"
#include "programmer/app/prog_dlg.h"
#include "dialog_rig.h"
#include "update_file_builder.h"

namespace {

using namespace app;

TEST(FlowFailure, AThrowingFlowIsReportedAndLeavesTheControlsAsAnEndedFlowDoes) {
    const std::vector<apptest::FileRecord> file = {{1, 4, 0, 4, std::vector<uint8_t>(700, 0x5A)}};
    const std::set<int> afterConnect = {kIdSelectPort, kIdLoadFile, kIdReboot, kIdQuit};
    std::set<int> afterLoad = afterConnect;
    afterLoad.insert({kIdProgram, checkBoxId(1)});
    const struct {
        const char* name;
        bool load;
        std::function<void(ProgDlg&)> flow;
        std::set<int> enabled;
    } cases[] = {
        {"programming run", true, [](ProgDlg& d) { d.OnProgram(); }, afterLoad},
        {"reboot", false, [](ProgDlg& d) { d.OnReboot(); }, afterConnect},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        apptest::DialogRig rig;
        apptest::UpdateFiles files;
        rig.startConnected();
        if (c.load) {
            rig.host.files.push_back(files.write("update.qup", file));
            rig.dialog.OnLoadFile();
            rig.dialog.CheckDevice(1, true);
        }
        // The first wait of the flow fails as a full memory would.
        rig.host.onPump = [] { throw std::runtime_error("out of memory"); };
        HandlerQueue handlers(rig.dialog.Model());
        EXPECT_EQ(handlers.act([&] { c.flow(rig.dialog); }), HandlerQueue::Outcome::Ran);
        EXPECT_EQ(FailureText(handlers.lastFailure()),
                  "The action failed unexpectedly: out of memory\n");
        rig.host.onPump = nullptr;
        rig.dialog.AfterFailure();
        EXPECT_EQ(rig.enabled(), c.enabled);
        EXPECT_EQ(rig.dialog.Model().windowTitle, std::string(ProgramTitle) + " ");
        EXPECT_FALSE(rig.dialog.Model().ended);
    }
}

}  // namespace

// The camera information read against camsim's camera model in process, with replies that are
// complete telegrams but shorter than the fields the read takes from them: each is refused like
// an unreadable reply, never shown as zeros.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "programmer/app/contact.h"
#include "programmer/app/prog_dlg.h"
#include "scripted_camera.h"
#include "scripted_host.h"
#include "tests/support/model_camera.h"

namespace {

using namespace app;

TEST(CameraInfoReplies, ShortRepliesAreRefusedNotReadAsZeros) {
    const std::string kFirmwareError =
        "Error reading camera firmware info!\nPlease try to reflash Main µP and FireWire µP!";
    const struct {
        const char* fault;  // camsim fault, "" for none
        bool result;
        const char* box;      // the message shown, "" for none
        const char* mainUp;   // the Main uP row's current version
        const char* mainFpga;
    } rows[] = {
        {"", true, "", "004 V03.02", "004 V01.07"},
        // One byte of type: no camera type at all.
        {"short-reply:0110:1", false, "Error reading camera type info!\nPlease contact QEL AG!\n",
         "--- V--.--", "--- V--.--"},
        // The count of hardware records, but not the records: asked again until given up.
        {"short-reply:0710:2", false,
         "Error reading camera hardware info!\nPlease contact QEL AG!\n", "--- V--.--",
         "--- V--.--"},
        // Firmware records promised but only partly there: nothing of them is shown.
        {"short-reply:0d10:50", true, kFirmwareError.c_str(), "--- V--.--", "--- V--.--"},
        {"short-reply:0d10", true, kFirmwareError.c_str(), "--- V--.--", "--- V--.--"},
    };
    for (const auto& row : rows) {
        apptest::ScriptedHost host;
        apptest::ScriptedFactory factory;
        ProgDlg dialog{host, factory};
        auto camera = std::make_unique<camera::test::ModelCamera>();
        camera->options.hardware.push_back({"KM4MAIN", 13, 1});
        camera->store.device(0).writeVersionBlock({2, 3, 4});
        camera->store.device(1).writeVersionBlock({7, 1, 4});
        std::string error;
        if (row.fault[0] != '\0') {
            ASSERT_TRUE(sim::addFault(row.fault, camera->options.faults, error)) << error;
        }
        dialog.camera = std::move(camera);
        EXPECT_EQ(dialog.ReadCameraInfo(), row.result) << row.fault;
        const std::string shown = host.boxes.empty() ? "" : host.boxes.front().text;
        const std::string expected =
            row.box[0] == '\0' || row.box == kFirmwareError ? row.box : WithContactLine(row.box);
        EXPECT_EQ(shown, expected) << row.fault;
        EXPECT_EQ(dialog.model.caption(currentFwId(0)), row.mainUp) << row.fault;
        EXPECT_EQ(dialog.model.caption(currentFwId(1)), row.mainFpga) << row.fault;
    }
}

}  // namespace

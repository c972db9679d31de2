#pragma once
// The main dialog over a real COM link to camsim on a pty, every device at variant 4 V01.00, with
// the shared fast clock.

#include <string>
#include <vector>

#include "camsim_fixture.h"
#include "programmer/app/default_camera_factory.h"
#include "programmer/app/prog_dlg.h"
#include "protocol/log_sink.h"
#include "scripted_host.h"
#include "tools/sample_update.h"
#include "update_file_builder.h"

namespace apptest {

class FastHost : public ScriptedHost {
public:
    explicit FastHost(platform::Clock& clock) : clock_(clock) {}
    platform::Clock& clock() override { return clock_; }

private:
    platform::Clock& clock_;
};

class CamsimDialog : public testsupport::CamsimFixture {
protected:
    void startCamsim(const std::vector<std::string>& extra = {}) {
        std::vector<std::string> options = everyDeviceAt(4, "1.00");
        options.insert(options.end(), extra.begin(), extra.end());
        CamsimFixture::startCamsim(options);
    }
    // Connects `d` to COM1 without the connection dialog.
    static void connect(app::ProgDlg& d, int packetMode = app::kPacketNormal) {
        d.options.connectWithoutDialog = true;
        d.options.packetMode = packetMode;
        d.OnInitDialog();
        ASSERT_TRUE(d.cameraConnected());
    }
    static tools::SampleSettings sampleSettings(int major, int minor) {
        return {major, minor, 4, {true, true, true, true, true}, 24 * 1024, 160 * 1024, 96 * 1024};
    }
    // An update file of every device at variant 4 `major`.`minor`.
    std::string sampleFile(const std::string& name, int major, int minor) {
        std::vector<uint8_t> bytes;
        EXPECT_EQ(tools::buildSampleUpdateFile(sampleSettings(major, minor), bytes), 0u);
        return files.write(name, bytes);
    }

    UpdateFiles files;
    FastHost host{clock};
    protocol::NullLogSink log;
    app::DefaultCameraFactory factory{log, platform::realClock()};
    app::ProgDlg dialog{host, factory};
};

}  // namespace apptest

#pragma once
// The main dialog over a real COM link to camsim on a pty, every device at variant 4 V01.00; the
// flows' waits pass twenty times faster, the serial I/O is real time.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "programmer/app/default_camera_factory.h"
#include "programmer/app/prog_dlg.h"
#include "protocol/log_sink.h"
#include "scripted_host.h"
#include "tools/camsim_process.h"
#include "tools/sample_update.h"
#include "update_file_builder.h"

namespace apptest {

class QuickHost : public ScriptedHost {
public:
    class QuickClock : public platform::Clock {
    public:
        platform::Milliseconds now() const override { return platform::realClock().now(); }
        void sleepFor(platform::Milliseconds duration) override {
            std::this_thread::sleep_for(std::max(duration / 20, platform::Milliseconds(1)));
        }
    };
    platform::Clock& clock() override { return quick; }
    QuickClock quick;
};

class CamsimDialog : public ::testing::Test {
protected:
    void SetUp() override {
        if (access(kCamsim.c_str(), X_OK) != 0)
            GTEST_SKIP() << "camsim not built";
    }
    void startCamsim(const std::vector<std::string>& extra = {}) {
        std::vector<std::string> options{"--state", state.path(),   "--boot-time",
                                         "200",     "--erase-time", "10"};
        for (int row = 0; row < app::kRowCount; ++row)
            options.insert(options.end(), {"--firmware", std::to_string(row) + ":4:1.00"});
        options.insert(options.end(), extra.begin(), extra.end());
        ASSERT_TRUE(camsim.start(kCamsim, options));
        setenv("QEL_COM1", camsim.portPath().c_str(), 1);
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
    // What camsim saved of `row`'s flash when it stopped.
    std::vector<uint8_t> flash(int row) const {
        static const char* const kStateFiles[] = {"main_up.bin", "main_fpga.bin", "eeprom.bin",
                                                  "main_pll.bin", "head_fpga.bin"};
        std::ifstream saved(state.path(kStateFiles[row]), std::ios::binary);
        return {std::istreambuf_iterator<char>(saved), {}};
    }

    const std::string kCamsim = std::string(KF_BINARY_DIR) + "/bin/camsim";
    tools::TempFolder state;
    UpdateFiles files;
    tools::CamsimProcess camsim;
    QuickHost host;
    protocol::NullLogSink log;
    app::DefaultCameraFactory factory{log, platform::realClock()};
    app::ProgDlg dialog{host, factory};
};

}  // namespace apptest

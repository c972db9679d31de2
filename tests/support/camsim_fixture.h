#pragma once
// camsim on a pty as COM1 for the tests that drive the dialogs or a front end against it, and the
// clock under which the flows' fixed waits (15 s of boot after a reboot) pass twenty times
// faster; the serial I/O stays real time.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "tools/camsim_process.h"
#include "tools/temp_folder.h"

namespace testsupport {

class FastClock : public platform::Clock {
public:
    platform::Milliseconds now() const override { return platform::realClock().now() + skipped_; }
    void sleepFor(platform::Milliseconds duration) override {
        platform::realClock().sleepFor(duration / 20);
        skipped_ += duration - duration / 20;
    }

private:
    platform::Milliseconds skipped_{0};
};

class CamsimFixture : public ::testing::Test {
protected:
    void SetUp() override {
        if (access(camsimBinary.c_str(), X_OK) != 0)
            GTEST_SKIP() << "camsim not built";
    }
    void TearDown() override { unsetenv("QEL_COM1"); }

    // Starts camsim with quick boots and erases, saving its flash in `state`, and `options`.
    void startCamsim(const std::vector<std::string>& options = {}) {
        std::vector<std::string> all{"--state", state.path(), "--boot-time", "200",
                                     "--erase-time", "10"};
        all.insert(all.end(), options.begin(), options.end());
        ASSERT_TRUE(camsim.start(camsimBinary, all));
        setenv("QEL_COM1", camsim.portPath().c_str(), 1);
    }
    // The options that put every device at `variant`:`version` ("1.00").
    static std::vector<std::string> everyDeviceAt(int variant, const std::string& version) {
        std::vector<std::string> options;
        for (int row = 0; row < 5; ++row)
            options.insert(options.end(), {"--firmware", std::to_string(row) + ":" +
                                                             std::to_string(variant) + ":" + version});
        return options;
    }
    // What camsim saved of `row`'s flash when it stopped.
    std::vector<uint8_t> flash(int row) const {
        static const char* const kStateFiles[] = {"main_up.bin", "main_fpga.bin", "eeprom.bin",
                                                  "main_pll.bin", "head_fpga.bin"};
        std::ifstream saved(state.path(kStateFiles[row]), std::ios::binary);
        return {std::istreambuf_iterator<char>(saved), {}};
    }

    const std::string camsimBinary = std::string(KF_BINARY_DIR) + "/bin/camsim";
    tools::TempFolder state;
    tools::CamsimProcess camsim;
    FastClock clock;
};

}  // namespace testsupport

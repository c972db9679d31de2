#pragma once
// camsim on a pty as COM1 for the tests that drive the dialogs or a front end against it, small
// update files and what camsim's flash holds, and the clock under which the flows' fixed waits
// (15 s of boot after a reboot) pass twenty times faster; the serial I/O stays real time.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "programmer/files/file_io.h"
#include "tools/camsim_process.h"
#include "tools/sample_update.h"
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

    // camsim's options for quick boots and erases, its flash saved in `stateFolder`.
    static std::vector<std::string> quickCamera(const std::string& stateFolder) {
        return {"--state", stateFolder, "--boot-time", "200", "--erase-time", "10"};
    }
    // Starts camsim with quick boots and erases, saving its flash in `state`, and `options`.
    void startCamsim(const std::vector<std::string>& options = {}) {
        std::vector<std::string> all = quickCamera(state.path());
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
    // What camsim saved of `row`'s flash in `folder` when it stopped.
    static std::vector<uint8_t> savedFlash(const tools::TempFolder& folder, int row) {
        static const char* const kStateFiles[] = {"main_up.bin", "main_fpga.bin", "eeprom.bin",
                                                  "main_pll.bin", "head_fpga.bin"};
        std::ifstream saved(folder.path(kStateFiles[row]), std::ios::binary);
        return {std::istreambuf_iterator<char>(saved), {}};
    }
    std::vector<uint8_t> flash(int row) const { return savedFlash(state, row); }

    // Small images of every device at variant 4 `major`.`minor`.
    static tools::SampleSettings smallSample(int major, int minor) {
        return {major, minor, 4, {true, true, true, true, true}, 16 * 1024, 96 * 1024, 64 * 1024};
    }
    // smallSample(major, minor) as an update file `name` in `work`; its path.
    std::string writeSample(const std::string& name, int major, int minor) {
        std::vector<uint8_t> bytes;
        EXPECT_EQ(tools::buildSampleUpdateFile(smallSample(major, minor), bytes), 0u);
        EXPECT_EQ(files::writeFileSafely(work.path(name), bytes), 0);
        return work.path(name);
    }
    // Whether the flash camsim saved (once stopped) holds `row`'s image of smallSample(1, 1).
    bool flashHoldsNewImage(int row) const {
        const tools::SampleImage image = tools::sampleImage(smallSample(1, 1), row);
        const std::vector<uint8_t> saved = flash(row);
        return saved.size() >= image.startOffset + image.data.size() &&
               std::equal(image.data.begin(), image.data.end(), saved.begin() + image.startOffset);
    }

    const std::string camsimBinary = std::string(KF_BINARY_DIR) + "/bin/camsim";
    tools::TempFolder state, work;
    tools::CamsimProcess camsim;
    FastClock clock;
};

}  // namespace testsupport

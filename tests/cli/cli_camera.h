#pragma once
// A camsim camera with every device at variant 4 V01.00, quick boots and erases; sample files.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cli_run.h"
#include "programmer/files/file_io.h"
#include "tools/camsim_process.h"
#include "tools/sample_update.h"
#include "tools/temp_folder.h"

namespace clitest {

// The files camsim saves each device's flash in, by row.
constexpr const char* kStateFiles[5] = {"main_up.bin", "main_fpga.bin", "eeprom.bin",
                                        "main_pll.bin", "head_fpga.bin"};

// camsim's options for a camera with every device at variant 4 V01.00 (but `erasedRow`, which
// starts erased), quick boots and erases, its flash saved in `state`.
inline std::vector<std::string> camsimOptions(const std::string& state, int erasedRow = -1) {
    std::vector<std::string> options{"--state", state, "--boot-time", "300", "--erase-time", "10"};
    for (int row = 0; row < 5; ++row)
        if (row != erasedRow)
            options.insert(options.end(), {"--firmware", std::to_string(row) + ":4:1.00"});
    return options;
}

class CliCamera : public ::testing::Test {
protected:
    void SetUp() override {
        if (access(binary.c_str(), X_OK) != 0)
            GTEST_SKIP() << "camsim not built";
    }

    bool startCamsim(const std::vector<std::string>& extra = {}) {
        std::vector<std::string> options = camsimOptions(state.path(), erasedRow);
        options.insert(options.end(), extra.begin(), extra.end());
        return camsim.start(binary, options);
    }
    std::string port() const { return "--port " + camsim.portPath(); }

    static tools::SampleSettings sampleSettings(int major, int minor, int variant = 4) {
        return {major,     minor,     uint16_t(variant), {true, true, true, true, true},
                16 * 1024, 96 * 1024, 64 * 1024};
    }
    // A small update file of all devices at `variant` and `major`.`minor`.
    std::string sample(const std::string& name, int major, int minor, int variant = 4) {
        std::vector<uint8_t> bytes;
        EXPECT_EQ(tools::buildSampleUpdateFile(sampleSettings(major, minor, variant), bytes), 0u);
        EXPECT_EQ(files::writeFileSafely(files.path(name), bytes), 0);
        return files.path(name);
    }

    // Whether the flash camsim saved (once stopped) holds `row`'s image of sample(.., 1, 1).
    bool flashHoldsNewImage(int row) const {
        const tools::SampleImage image = tools::sampleImage(sampleSettings(1, 1), row);
        const std::string flash = readAll(state.path(kStateFiles[row]));
        return flash.size() >= image.startOffset + image.data.size() &&
               std::equal(image.data.begin(), image.data.end(),
                          flash.begin() + long(image.startOffset),
                          [](uint8_t want, char got) { return want == uint8_t(got); });
    }

    int erasedRow = -1;  // this device starts erased: the camera does not report it
    const std::string binary = std::string(KF_BINARY_DIR) + "/bin/camsim";
    tools::TempFolder state, files;
    tools::CamsimProcess camsim;
};

}  // namespace clitest

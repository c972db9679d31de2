#pragma once
// A camsim camera with every device at variant 4 V01.00, quick boots and erases; sample files.

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "cli_run.h"
#include "programmer/files/file_io.h"
#include "tools/camsim_process.h"
#include "tools/sample_update.h"
#include "tools/temp_folder.h"

namespace clitest {

class CliCamera : public ::testing::Test {
protected:
    void SetUp() override {
        if (access(binary.c_str(), X_OK) != 0)
            GTEST_SKIP() << "camsim not built";
    }

    bool startCamsim(const std::vector<std::string>& extra = {}) {
        std::vector<std::string> options{"--state", state.path(),   "--boot-time",
                                         "300",     "--erase-time", "10"};
        for (int row = 0; row < 5; ++row)
            if (row != erasedRow)
                options.insert(options.end(), {"--firmware", std::to_string(row) + ":4:1.00"});
        options.insert(options.end(), extra.begin(), extra.end());
        return camsim.start(binary, options);
    }
    std::string port() const { return "--port " + camsim.portPath(); }

    // A small update file of all devices at `variant` and `major`.`minor`.
    std::string sample(const std::string& name, int major, int minor, int variant = 4) {
        tools::SampleSettings sample{major, minor, uint16_t(variant), {true, true, true, true, true},
                                     16 * 1024, 96 * 1024, 64 * 1024};
        std::vector<uint8_t> bytes;
        EXPECT_EQ(tools::buildSampleUpdateFile(sample, bytes), 0u);
        EXPECT_EQ(files::writeFileSafely(files.path(name), bytes), 0);
        return files.path(name);
    }

    int erasedRow = -1;  // this device starts erased: the camera does not report it
    const std::string binary = std::string(KF_BINARY_DIR) + "/bin/camsim";
    tools::TempFolder state, files;
    tools::CamsimProcess camsim;
};

}  // namespace clitest

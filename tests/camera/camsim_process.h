#pragma once
// camsim of this build for a test.

#include <unistd.h>

#include <string>
#include <vector>

#include "tools/camsim_process.h"
#include "tools/temp_folder.h"

namespace camera::test {

class CamsimProcess : public tools::CamsimProcess {
public:
    static std::string binaryPath() { return std::string(KF_BINARY_DIR) + "/bin/camsim"; }
    static bool available() { return access(binaryPath().c_str(), X_OK) == 0; }
    bool start(const std::vector<std::string>& options) {
        return tools::CamsimProcess::start(binaryPath(), options);
    }
};

using tools::TempFolder;

}  // namespace camera::test

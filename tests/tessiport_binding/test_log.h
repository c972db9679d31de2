#pragma once
// A log file in a scratch folder for the tests, and the process-wide log state put back after.

#include <filesystem>
#include <string>
#include <vector>

#include "../tessiport/test_support.h"
#include "tessiport/include/tessiport.h"
#include "tessiport/log_file.h"
#include "tessiport/serial_binding.h"
#include "tools/temp_folder.h"

namespace tessiport::test {

using libtest::readText;
using libtest::writeText;

// A Camera Link serial library of the simulated grabber with the functions of `variant`: "full"
// (libclsersim.so), "minimal", "noclose" or "imaq". The tests copy it where they need it.
inline std::string serialLibrary(const std::string& variant) {
    return KF_BINARY_DIR "/lib/libclsersim" + (variant == "full" ? "" : "_" + variant) + ".so";
}

// The places a serial library is looked for, each a folder of its own below `folder`: "registry",
// "system", "own" (and "cwd", made for a test to change into).
inline SerialPlaces scratchPlaces(const tools::TempFolder& folder) {
    SerialPlaces places;
    places.registryKey = true;
    places.registryDir = folder.path("registry") + "/";
    places.systemDir = folder.path("system");
    places.ownFile = folder.path("own") + "/libtessiport.so";
    for (const char* dir : {"registry", "system", "own", "cwd"})
        std::filesystem::create_directories(folder.path(dir));
    return places;
}

class LogCapture {
public:
    explicit LogCapture(uint32_t bits) : path_(folder_.path("test.log")) {
        Enable_Message_Log(bits, path_.c_str());
    }
    ~LogCapture() {
        Enable_Message_Log(0, nullptr);
        Enable_Error_Messages(0, nullptr);
        Register_User_Interface(nullptr);
        setLogBits(3);
    }
    const tools::TempFolder& folder() const { return folder_; }
    const std::string& path() const { return path_; }

    // Every line as written, CR LF removed; empty lines dropped.
    std::vector<std::string> rawLines() const {
        std::vector<std::string> lines;
        const std::string text = readText(path_);
        for (size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
            if (end > at)
                lines.push_back(text.substr(at, end - at));
        return lines;
    }
    // The lines written through the log writer, without their value column "0x0001 ".
    std::vector<std::string> lines() const {
        std::vector<std::string> result;
        for (const std::string& line : rawLines())
            if (line.rfind("0x", 0) == 0)
                result.push_back(line.substr(line.find(' ') + 1));
        return result;
    }

private:
    tools::TempFolder folder_;
    std::string path_;
};

}  // namespace tessiport::test

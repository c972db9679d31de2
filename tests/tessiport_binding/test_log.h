#pragma once
// A log file in a scratch folder for the tests, and the process-wide log state put back after.

#include <string>
#include <vector>

#include "../tessiport/test_support.h"
#include "tessiport/include/tessiport.h"
#include "tessiport/log_file.h"
#include "tools/temp_folder.h"

namespace tessiport::test {

using libtest::readText;
using libtest::writeText;

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

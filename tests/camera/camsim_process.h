#pragma once
// Runs camsim for a test: starts it with the given options, reads the pty path it prints and
// ends it by closing its standard input.

#include <string>
#include <vector>

namespace camera::test {

class CamsimProcess {
public:
    CamsimProcess() = default;
    ~CamsimProcess();
    CamsimProcess(const CamsimProcess&) = delete;
    CamsimProcess& operator=(const CamsimProcess&) = delete;

    static std::string binaryPath();
    static bool available();

    // False when camsim could not be started or printed no path.
    bool start(const std::vector<std::string>& options);
    // Closes stdin and waits for camsim to save its state and end.
    void stop();
    const std::string& portPath() const { return portPath_; }

private:
    int pid_ = -1;
    int stdinFd_ = -1;
    std::string portPath_;
};

// A fresh empty folder under the system's temporary folder, removed with the object.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace camera::test

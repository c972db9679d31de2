#include "tests/win32/program_test_support.h"

#include <atomic>

namespace win32test {

std::string kelvoflashPath() { return programFolder() + "kelvoflash.exe"; }

std::string scratchFolder() {
    static std::atomic<int> counter{0};
    char temporary[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temporary);
    const std::string folder = std::string(temporary) + "kf-win32-" +
                               std::to_string(GetCurrentProcessId()) + "-" +
                               std::to_string(counter++);
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder + "\\";
}

void keepScreenshot(HWND window, const std::string& name) {
    const std::string folder = programFolder() + "..\\artifacts";
    CreateDirectoryA(folder.c_str(), nullptr);
    CreateDirectoryA((folder + "\\win32").c_str(), nullptr);
    // Let the window finish painting what the last change asked for.
    Sleep(300);
    EXPECT_TRUE(saveScreenshot(window, folder + "\\win32\\" + name + ".bmp")) << name;
}

}  // namespace win32test

#pragma once
// What the dialog tests share: kelvoflash.exe beside the test, a scratch folder to start it in,
// and the folder the screenshots are kept in.

#include <gtest/gtest.h>

#include <string>

#include "tests/win32/dialog_driver.h"

namespace win32test {

std::string kelvoflashPath();
// A new empty folder under the system's temporary folder.
std::string scratchFolder();
// Keeps a screenshot of `window` as <build>/artifacts/win32/<name>.bmp.
void keepScreenshot(HWND window, const std::string& name);

}  // namespace win32test

#pragma once
// Drives the programmer's Win32 dialogs from another process, as a technician would: starts
// kelvoflash.exe in a scratch folder, finds its dialogs and message boxes, clicks and reads
// controls by id, answers file dialogs, and keeps screenshots. Everything posts to the program
// and polls, so a modal box or a running flow in the program never blocks the test. Texts are
// UTF-8.

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace win32test {

constexpr int kWaitMs = 20000;

// A program started by the test; ended on destruction if it still runs.
class Program {
public:
    Program(const std::string& path, const std::string& arguments, const std::string& folder);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool started() const { return process_ != nullptr; }
    DWORD id() const { return id_; }
    // The exit code once the program ended within `ms`, else STILL_ACTIVE.
    DWORD waitForExit(int ms) const;

private:
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
};

// Polls `condition` every 20 ms until it holds or `ms` passed.
bool waitUntil(const std::function<bool()>& condition, int ms = kWaitMs);

// A visible top-level dialog of the process holding a control with `controlId` and, when
// `title` is not empty, that title; null when none appears within `ms`.
HWND waitForDialog(DWORD process, int controlId, const std::string& title = "", int ms = kWaitMs);
// A visible message box of the process whose text contains `text`.
HWND waitForBox(DWORD process, const std::string& text, int ms = kWaitMs);
// The text of a message box.
std::string boxText(HWND box);

std::string textOf(HWND window);
std::string text(HWND dialog, int id);
bool enabled(HWND dialog, int id);
bool checked(HWND dialog, int id);
std::vector<std::string> listItems(HWND dialog, int id);
int listSelection(HWND dialog, int id);
// The colour at the centre of a control as the screen shows it.
COLORREF colourAt(HWND dialog, int id);

void click(HWND dialog, int id);
void rightClick(HWND dialog, int id);
void selectListEntry(HWND dialog, int id, int index);
void systemCommand(HWND dialog, unsigned command);
void close(HWND dialog);
// Answers the open or save dialog showing in the process with `path`; false when none showed.
bool answerFileDialog(DWORD process, const std::string& path, int ms = kWaitMs);

// Writes what the screen shows of `window` as a 24-bit BMP file.
bool saveScreenshot(HWND window, const std::string& path);

// Folder of this test program, with a trailing separator, and kelvoflash.exe beside it.
std::string programFolder();
std::string kelvoflashPath();
// A new empty folder under the system's temporary folder.
std::string scratchFolder();
// Keeps a screenshot of `window` as <build>/artifacts/win32/<name>.bmp.
void keepScreenshot(HWND window, const std::string& name);

}  // namespace win32test

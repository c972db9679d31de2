#pragma once
// Drives the programmer's Win32 dialogs from another process, as a technician would: starts
// kelvoflash.exe in a scratch folder, finds its dialogs and message boxes, clicks and reads
// controls by id, answers file dialogs, and keeps screenshots. Everything posts to the program
// and polls, so a modal box or a running flow in the program never blocks the test. Texts are
// UTF-8.

#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace win32test {

// Wine on a loaded two-core machine took over 20 s for a first file dialog in a new prefix.
constexpr int kWaitMs = 60000;
// Message boxes show their text in the static control 0xFFFF.
constexpr int kBoxTextId = 0xFFFF;

inline std::wstring wide(const std::string& utf8) {
    std::wstring result(size_t(MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0)),
                        L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, result.data(), int(result.size()));
    result.resize(result.size() - 1);
    return result;
}

inline std::string narrow(const std::wstring& text) {
    std::string result(
        size_t(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr)),
        '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, result.data(), int(result.size()), nullptr,
                        nullptr);
    result.resize(result.size() - 1);
    return result;
}

// Sends with a time-out, so that a program busy in a flow cannot hang the test.
inline LRESULT ask(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result);
    return LRESULT(result);
}

// A program started by the test; ended on destruction if it still runs.
class Program {
public:
    Program(const std::string& path, const std::string& arguments, const std::string& folder) {
        std::wstring line = L"\"" + wide(path) + L"\" " + wide(arguments);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                           folder.empty() ? nullptr : wide(folder).c_str(), &startup, &info)) {
            CloseHandle(info.hThread);
            process_ = info.hProcess;
            id_ = info.dwProcessId;
        }
    }
    ~Program() {
        if (process_ == nullptr)
            return;
        if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT)
            TerminateProcess(process_, 99);
        WaitForSingleObject(process_, 5000);
        CloseHandle(process_);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool started() const { return process_ != nullptr; }
    DWORD id() const { return id_; }
    // The exit code once the program ended within `ms`, else STILL_ACTIVE.
    DWORD waitForExit(int ms) const {
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(process_, DWORD(ms)) == WAIT_OBJECT_0)
            GetExitCodeProcess(process_, &code);
        return code;
    }

private:
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
};

// Polls `condition` every 20 ms until it holds or `ms` passed.
inline bool waitUntil(const std::function<bool()>& condition, int ms = kWaitMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

inline std::string textOf(HWND window) {
    const auto length = size_t(ask(window, WM_GETTEXTLENGTH));
    std::wstring buffer(length + 1, L'\0');
    const auto got =
        size_t(ask(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data())));
    buffer.resize(std::min(got, length));
    return narrow(buffer);
}

inline std::string text(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    return control == nullptr ? std::string() : textOf(control);
}

// The text of a message box.
inline std::string boxText(HWND box) {
    return text(box, kBoxTextId);
}

// The first visible dialog of the process for which `wanted` holds, waited for at most `ms`.
inline HWND waitForTopLevel(DWORD process, const std::function<bool(HWND)>& wanted, int ms) {
    HWND found = nullptr;
    waitUntil(
        [&] {
            for (HWND window = nullptr;
                 (window = FindWindowExW(nullptr, window, L"#32770", nullptr)) != nullptr;) {
                DWORD owner = 0;
                GetWindowThreadProcessId(window, &owner);
                if (owner == process && IsWindowVisible(window) && wanted(window))
                    return (found = window) != nullptr;
            }
            return false;
        },
        ms);
    return found;
}

// A visible top-level dialog of the process holding a control with `controlId` and, when
// `title` is not empty, that title; null when none appears within `ms`.
inline HWND waitForDialog(DWORD process, int controlId, const std::string& title = "",
                          int ms = kWaitMs) {
    return waitForTopLevel(
        process,
        [&](HWND window) {
            return GetDlgItem(window, controlId) != nullptr &&
                   (title.empty() || textOf(window) == title);
        },
        ms);
}

// A visible message box of the process whose text contains `wanted`.
inline HWND waitForBox(DWORD process, const std::string& wanted, int ms = kWaitMs) {
    return waitForTopLevel(
        process,
        [&](HWND window) {
            return GetDlgItem(window, kBoxTextId) != nullptr &&
                   boxText(window).find(wanted) != std::string::npos;
        },
        ms);
}

inline bool enabled(HWND dialog, int id) {
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

inline bool checked(HWND dialog, int id) {
    return ask(GetDlgItem(dialog, id), BM_GETCHECK) == BST_CHECKED;
}

inline std::vector<std::string> listItems(HWND dialog, int id) {
    HWND list = GetDlgItem(dialog, id);
    std::vector<std::string> items;
    const auto count = int(ask(list, CB_GETCOUNT));
    for (int i = 0; i < count; ++i) {
        std::wstring item(size_t(ask(list, CB_GETLBTEXTLEN, WPARAM(i))) + 1, L'\0');
        ask(list, CB_GETLBTEXT, WPARAM(i), reinterpret_cast<LPARAM>(item.data()));
        items.push_back(narrow(item.c_str()));
    }
    return items;
}

inline int listSelection(HWND dialog, int id) {
    return int(ask(GetDlgItem(dialog, id), CB_GETCURSEL));
}

// The colour at the centre of a control as the screen shows it.
inline COLORREF colourAt(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    RECT area;
    GetWindowRect(control, &area);
    HDC screen = GetDC(nullptr);
    const COLORREF colour = GetPixel(screen, (area.left + area.right) / 2,
                                     area.top + 2 + GetSystemMetrics(SM_CYBORDER));
    ReleaseDC(nullptr, screen);
    return colour;
}

// Pixels darker than a quarter of full brightness inside a control, its border aside: the
// word a row's bar shows.
inline int darkPixelsIn(HWND dialog, int id) {
    RECT area;
    GetWindowRect(GetDlgItem(dialog, id), &area);
    HDC screen = GetDC(nullptr);
    int dark = 0;
    for (int y = area.top + 3; y < area.bottom - 3; ++y)
        for (int x = area.left + 3; x < area.right - 3; ++x) {
            const COLORREF c = GetPixel(screen, x, y);
            dark += GetRValue(c) < 64 && GetGValue(c) < 64 && GetBValue(c) < 64;
        }
    ReleaseDC(nullptr, screen);
    return dark;
}

inline void click(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// A real click of the mouse (button down and up) at the centre of the control, through the
// system's input queue as a technician's mouse gives it; false when the pointer did not come to
// rest over the control. The pointer is moved first and the buttons are pressed only once it has
// stayed there for 100 ms: Wine hands an injected move to the X server, and a pointer event of
// the move before can still arrive and put the cursor back, so that buttons sent together with
// the move land where the previous click was (a left click meant for a check box then pressed
// the Packet button that had just been right-clicked).
inline bool mouseClick(HWND dialog, int id, bool right) {
    HWND control = GetDlgItem(dialog, id);
    RECT area;
    GetWindowRect(control, &area);
    const POINT target{(area.left + area.right) / 2, (area.top + area.bottom) / 2};
    const auto absolute = [](LONG value, int metric) {
        const int extent = GetSystemMetrics(metric) - 1;
        return LONG((value * 65535 + extent / 2) / extent);
    };
    const auto input = [&](DWORD flags) {
        INPUT event = {};
        event.type = INPUT_MOUSE;
        event.mi.dx = absolute(target.x, SM_CXSCREEN);
        event.mi.dy = absolute(target.y, SM_CYSCREEN);
        event.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | flags;
        return event;
    };
    INPUT move = input(MOUSEEVENTF_MOVE);
    SendInput(1, &move, sizeof move);
    int steadyPolls = 0;  // 20 ms apart
    const bool resting = waitUntil(
        [&] {
            POINT now{};
            GetCursorPos(&now);
            if (now.x != target.x || now.y != target.y) {
                SendInput(1, &move, sizeof move);
                steadyPolls = 0;
                return false;
            }
            return WindowFromPoint(now) == control && ++steadyPolls >= 5;
        },
        5000);
    if (!resting)
        return false;
    INPUT buttons[2] = {input(right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN),
                        input(right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP)};
    return SendInput(2, buttons, sizeof(INPUT)) == 2;
}

inline bool rightClick(HWND dialog, int id) {
    return mouseClick(dialog, id, true);
}

inline void selectListEntry(HWND dialog, int id, int index) {
    HWND list = GetDlgItem(dialog, id);
    ask(list, CB_SETCURSEL, WPARAM(index));
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
}

inline void systemCommand(HWND dialog, unsigned command) {
    PostMessageW(dialog, WM_SYSCOMMAND, command, 0);
}

inline void close(HWND dialog) {
    PostMessageW(dialog, WM_CLOSE, 0, 0);
}

// The common file dialog's name field: the combo box cmb13 (0x47C) or the edit edt1 (0x480).
constexpr int kFileNameCombo = 0x47C;
constexpr int kFileNameEdit = 0x480;

// The open or save dialog showing in the process, found by its name field; null when none
// showed within `ms`.
inline HWND waitForFileDialog(DWORD process, int ms = kWaitMs) {
    return waitForTopLevel(
        process,
        [](HWND window) {
            return GetDlgItem(window, kFileNameCombo) != nullptr ||
                   GetDlgItem(window, kFileNameEdit) != nullptr;
        },
        ms);
}

// Answers the open or save dialog showing in the process with `path`; false when none showed.
inline bool answerFileDialog(DWORD process, const std::string& path, int ms = kWaitMs) {
    HWND dialog = waitForFileDialog(process, ms);
    if (dialog == nullptr)
        return false;
    HWND name = GetDlgItem(dialog, kFileNameCombo);
    if (name == nullptr)
        name = GetDlgItem(dialog, kFileNameEdit);
    const std::wstring value = wide(path);
    ask(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(value.c_str()));
    click(dialog, IDOK);
    return true;
}

// Cancels the open or save dialog showing in the process; false when none showed or it stayed.
inline bool cancelFileDialog(DWORD process, int ms = kWaitMs) {
    HWND dialog = waitForFileDialog(process, ms);
    if (dialog == nullptr)
        return false;
    click(dialog, IDCANCEL);
    return waitUntil([dialog] { return !IsWindow(dialog); });
}

// Writes what the screen shows of `window` as a 24-bit BMP file.
inline bool saveScreenshot(HWND window, const std::string& path) {
    RECT area;
    if (!GetWindowRect(window, &area))
        return false;
    const int width = area.right - area.left, height = area.bottom - area.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    SelectObject(memory, old);
    // 24 bits a pixel, rows bottom-up and padded to four bytes, as BMP files store them.
    BITMAPINFOHEADER info{sizeof info, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    std::string pixels(size_t((width * 3 + 3) & ~3) * size_t(height), '\0');
    const bool copied = GetDIBits(memory, bitmap, 0, UINT(height), pixels.data(),
                                  reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS) == height;
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    const DWORD offset = sizeof(BITMAPFILEHEADER) + sizeof info;
    const BITMAPFILEHEADER header{0x4D42, DWORD(offset + pixels.size()), 0, 0, offset};  // "BM"
    std::ofstream file(std::filesystem::path(wide(path)), std::ios::binary);
    file.write(reinterpret_cast<const char*>(&header), sizeof header);
    file.write(reinterpret_cast<const char*>(&info), sizeof info);
    file << pixels;
    return copied && bool(file.flush());
}

// Folder of this test program, with a trailing separator, and kelvoflash.exe beside it.
inline std::string programFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    folder.erase(folder.find_last_of(L"\\/") + 1);
    return narrow(folder);
}

inline std::string kelvoflashPath() {
    return programFolder() + "kelvoflash.exe";
}

// A new empty folder under the system's temporary folder. Wine gives process ids out again, so
// a folder of an earlier run may carry the same name: the next number is taken then.
inline std::string scratchFolder() {
    static std::atomic<int> counter{0};
    char temporary[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temporary);
    for (;;) {
        const std::string folder = std::string(temporary) + "kf-win32-" +
                                   std::to_string(GetCurrentProcessId()) + "-" +
                                   std::to_string(counter++);
        if (CreateDirectoryA(folder.c_str(), nullptr) || GetLastError() != ERROR_ALREADY_EXISTS)
            return folder + "\\";
    }
}

// Keeps a screenshot of `window` as <build>/artifacts/win32/<name>.bmp.
inline void keepScreenshot(HWND window, const std::string& name) {
    const std::string folder = programFolder() + "..\\artifacts";
    CreateDirectoryA(folder.c_str(), nullptr);
    CreateDirectoryA((folder + "\\win32").c_str(), nullptr);
    // Let the window finish painting what the last change asked for.
    Sleep(300);
    EXPECT_TRUE(saveScreenshot(window, folder + "\\win32\\" + name + ".bmp")) << name;
}

}  // namespace win32test

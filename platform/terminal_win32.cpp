#include <windows.h>
#include <io.h>

#include "platform/terminal.h"
#include "platform/read_line.h"

namespace platform {

int outputColumns() {
    CONSOLE_SCREEN_BUFFER_INFO console{};
    if (!::GetConsoleScreenBufferInfo(::GetStdHandle(STD_OUTPUT_HANDLE), &console))
        return 0;
    return console.srWindow.Right - console.srWindow.Left + 1;
}


bool readHiddenLine(const std::string& prompt, std::string& line) {
    HANDLE input = ::CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                 nullptr);
    if (input == INVALID_HANDLE_VALUE)
        return false;
    DWORD saved = 0;
    bool ok = ::GetConsoleMode(input, &saved) != 0;
    if (ok)
        ::SetConsoleMode(input, (saved | ENABLE_LINE_INPUT) & ~DWORD(ENABLE_ECHO_INPUT));
    HANDLE output = ::GetStdHandle(STD_ERROR_HANDLE);
    DWORD written = 0;
    if (ok)
        ::WriteFile(output, prompt.data(), DWORD(prompt.size()), &written, nullptr);
    line.clear();
    while (ok) {
        char c = 0;
        DWORD got = 0;
        if (!::ReadFile(input, &c, 1, &got, nullptr) || got == 0) {
            ok = !line.empty();
            break;
        }
        if (c == '\n')
            break;
        if (c != '\r')
            line += c;
    }
    if (saved != 0)
        ::SetConsoleMode(input, saved);
    ::WriteFile(output, "\r\n", 2, &written, nullptr);
    ::CloseHandle(input);
    return ok;
}

bool readLineFromDescriptor(int fd, std::string& line) {
    return readLineByBytes([fd](char& c) { return ::_read(fd, &c, 1) > 0; }, line);
}

}  // namespace platform

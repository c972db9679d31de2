#include <windows.h>

#include "platform/terminal.h"

namespace platform {

int outputColumns() {
    CONSOLE_SCREEN_BUFFER_INFO console{};
    if (!::GetConsoleScreenBufferInfo(::GetStdHandle(STD_OUTPUT_HANDLE), &console))
        return 0;
    return console.srWindow.Right - console.srWindow.Left + 1;
}

}  // namespace platform

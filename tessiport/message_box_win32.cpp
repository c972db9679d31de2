// The library's message box on Windows. No owner window: the library does not know the host's
// windows, and task-modal disables the calling thread's top-level windows while the box is up.
// The caption is left to the system ("Error").
#include <windows.h>

#include "platform/wide_text.h"
#include "tessiport/message_box.h"

namespace tessiport {

void showMessageBox(const char* text) {
    ::MessageBoxW(nullptr, platform::widen(text).c_str(), nullptr,
                  MB_OK | MB_ICONWARNING | MB_TASKMODAL);
}

}  // namespace tessiport

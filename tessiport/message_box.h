#pragma once
// The message box of the error message output (Enable_Error_Messages bit 2): on Windows the
// system's task-modal warning box; elsewhere, where the library has no windows of its own, the
// box the host registered with Register_User_Interface, if any.

namespace tessiport {

// Shows `text` (UTF-8) and returns when the user has answered.
void showMessageBox(const char* text);

}  // namespace tessiport

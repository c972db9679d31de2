#pragma once
// The look every window of the programmer shares; run once after the QApplication exists.

class QApplication;

namespace gui {

// Name used as the default caption of message boxes.
constexpr const char* kApplicationName = "kelvoflash";

void setUpApplication(QApplication& application);

}  // namespace gui

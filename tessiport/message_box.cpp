#include "tessiport/message_box.h"

#include "tessiport/user_interface.h"

namespace tessiport {

void showMessageBox(const char* text) {
    const TP_UserInterface ui = registeredUserInterface();
    if (ui.showMessageBox != nullptr) ui.showMessageBox(ui.context, text);
}

}  // namespace tessiport

#include "tessiport/user_interface.h"

#include <mutex>

namespace tessiport {

namespace {
std::mutex uiMutex;
TP_UserInterface registeredUi{};
}  // namespace

TP_UserInterface registeredUserInterface() {
    std::lock_guard<std::mutex> guard(uiMutex);
    return registeredUi;
}

}  // namespace tessiport

extern "C" TESSIPORT_API uint32_t Register_User_Interface(
    const TP_UserInterface* ui) {
    std::lock_guard<std::mutex> guard(tessiport::uiMutex);
    tessiport::registeredUi = ui != nullptr ? *ui : TP_UserInterface{};
    return TP_OK;
}

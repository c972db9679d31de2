// Get_Transfer_Parameters and Set_Transfer_Parameters: the handle is checked here; reading and
// changing the parameters is link set-up.

#include <mutex>

#include "tessiport/driver_list.h"
#include "tessiport/include/tessiport.h"
#include "tessiport/library_log.h"
#include "tessiport/link_setup.h"

using namespace tessiport;

namespace {

bool knownHandle(uint32_t handle, const char* function) {
    std::lock_guard lock(driver_entry_crisec);
    if (findEntry(handle) != nullptr)
        return true;
    LogMessage(level::kError, handle, "%s: HANDLE 0x%x not valid", function, handle);
    return false;
}

}  // namespace

extern "C" uint32_t Get_Transfer_Parameters(uint32_t handle, void*, uint32_t) {
    if (!knownHandle(handle, "Get_Transfer_Parameters"))
        return TP_ERR_HANDLE;
    return linkSetupNotAvailable("Get_Transfer_Parameters", handle);
}

extern "C" uint32_t Set_Transfer_Parameters(uint32_t handle, const void*, uint32_t) {
    if (!knownHandle(handle, "Set_Transfer_Parameters"))
        return TP_ERR_HANDLE;
    return linkSetupNotAvailable("Set_Transfer_Parameters", handle);
}

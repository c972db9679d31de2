// Get_Transfer_Parameters and Set_Transfer_Parameters: the Camera Link transfer parameters of an
// open board, read from the camera and changed on camera and grabber.

#include <algorithm>
#include <cstring>
#include <mutex>

#include "tessiport/driver_list.h"
#include "tessiport/include/tessiport.h"
#include "tessiport/library_log.h"
#include "tessiport/link_setup.h"

using tessiport::DriverEntry;
using tessiport::TransferParametersBlock;

namespace {

constexpr uint32_t kParameterBytes = sizeof(TransferParametersBlock);
static_assert(kParameterBytes == sizeof(TransferParameters));

uint32_t lowByte(uint32_t value) { return value & 0xFF; }

bool clConfigChanged(const TransferParametersBlock& now, const TransferParametersBlock& wanted) {
    return wanted.ClockFrequency != now.ClockFrequency ||
           lowByte(wanted.CCline) != lowByte(now.CCline) || wanted.DataFormat != now.DataFormat ||
           lowByte(wanted.Transmit) != lowByte(now.Transmit);
}

}  // namespace

extern "C" uint32_t Get_Transfer_Parameters(uint32_t handle, void* buffer, uint32_t length) {
    const tessiport::HostReportsOnReturn reportsOnReturn;
    std::lock_guard lock(tessiport::driver_entry_crisec);
    tessiport::EntryUse entry(handle);
    if (!entry) {
        tessiport::LogMessage(tessiport::level::kError, handle,
                              "Get_Transfer_Parameters: HANDLE 0x%x not valid", handle);
        return TP_ERR_HANDLE;
    }
    tessiport::get_actual_cl_config(*entry);
    if (buffer != nullptr)
        std::memcpy(buffer, &entry->transfer, std::min(length, kParameterBytes));
    return TP_OK;
}

extern "C" uint32_t Set_Transfer_Parameters(uint32_t handle, const void* buffer,
                                            uint32_t length) {
    const tessiport::HostReportsOnReturn reportsOnReturn;
    // The use keeps the board open and its functions bound until the change is done.
    tessiport::EntryUse entry(handle);
    if (!entry) {
        tessiport::LogMessage(tessiport::level::kError, handle,
                              "Set_Transfer_Parameters: HANDLE 0x%x not valid", handle);
        return TP_ERR_HANDLE;
    }
    std::lock_guard link(entry->linkMutex);

    TransferParametersBlock current;
    uint32_t grabberRate = 0;
    {
        std::lock_guard lock(tessiport::driver_entry_crisec);
        current = entry->transfer;
        grabberRate = entry->grabberRate;
    }
    TransferParametersBlock wanted = current;
    if (buffer != nullptr) std::memcpy(&wanted, buffer, std::min(length, kParameterBytes));

    // The rate is compared with the one the grabber is set to: after a switch the camera did not
    // confirm, the two differ, and asking for the entry's rate must still move the grabber.
    if (entry->comPort == nullptr && wanted.baudrate != grabberRate) {
        const uint32_t result = tessiport::set_baudrate(*entry, wanted.baudrate);
        if (result != 0) return result;
        std::lock_guard lock(tessiport::driver_entry_crisec);
        entry->transfer.baudrate = wanted.baudrate;
        current = entry->transfer;
    }

    if (clConfigChanged(current, wanted)) {
        const uint32_t result = tessiport::set_cl_config(*entry, wanted.ClockFrequency,
                                                         wanted.CCline, wanted.DataFormat,
                                                         wanted.Transmit);
        if (result != 0) {
            tessiport::LogMessage(tessiport::level::kError, handle,
                                  "Set_Transfer_Parameters: SET_CL_CONFIGURATION failed with 0x%x",
                                  result);
            return result;
        }
        tessiport::get_actual_cl_config(*entry);
    }

    if (entry->pclSetBaudRate != nullptr && entry->pclGetSupportedBaudRates != nullptr) {
        const uint32_t rates = tessiport::usableGrabberRates(*entry);
        std::lock_guard lock(tessiport::driver_entry_crisec);
        entry->transfer.Transmit = lowByte(entry->transfer.Transmit) | (rates << 8);
    }
    return TP_OK;
}

// The connection-tested parts of Open_Cam_Ext: completing a new open with the camera's rate,
// configuration and revisions, and testing (and restoring) the link of a board already open.

#include <cstring>
#include <mutex>

#include "tessiport/driver_list.h"
#include "protocol/commands.h"
#include "tessiport/include/tessiport.h"
#include "tessiport/library_log.h"
#include "tessiport/link_setup.h"

namespace tessiport {

namespace {

constexpr uint32_t kCameraInfoCapacity = 153;
constexpr uint32_t kDefaultGrabberRate = 9600;

void closeSerialGuarded(DriverEntry& entry) {
    if (entry.pclSerialClose == nullptr) return;
    try {
        entry.pclSerialClose(entry.serialRef);
    } catch (...) {
        // A fault inside the grabber's close must not take the host down.
    }
}

}  // namespace

uint32_t completeTestedOpen(DriverEntry& entry) {
    const uint32_t value = entry.handle;
    if (entry.comPort == nullptr && entry.library.isOpen()) {
        const uint32_t scanned = scan_camera_baudrate(entry);
        if (scanned != 0) {
            LogMessage(level::kError, value,
                       "Open_Cam_Ext: no connection, call pclSerialClose and FreeLibrary");
            return scanned;
        }
    }
    LogMessage(level::kInfo, value, "Open_Cam_Ext: send command GET_CL_CONFIGURATION");
    get_actual_cl_config(entry);
    get_firmwarerev(entry);
    if (entry.pclGetSupportedBaudRates != nullptr) {
        const uint32_t rates = usableGrabberRates(entry);
        std::lock_guard lock(driver_entry_crisec);
        entry.transfer.Transmit |= rates << 8;
    }
    return 0;
}

uint32_t testOpenConnection(uint32_t value, uint32_t* handle) {
    EntryUse entry(value);
    if (!entry) {
        // Closed by another thread since the lookup.
        LogMessage(level::kError, value, "Open_Cam_Ext: HANDLE 0x%x not valid", value);
        *handle = 0;
        return TP_ERR_HANDLE;
    }
    std::unique_lock link(entry->linkMutex);
    const protocol::Request info = protocol::simpleRequest(protocol::cmd::GET_CAMERA_INFO);
    uint8_t cameraInfo[kCameraInfoSize] = {};
    const uint32_t tested =
        Control_Command(value, info.data(), info.size, cameraInfo, kCameraInfoCapacity);
    {
        std::lock_guard lock(driver_entry_crisec);
        std::memcpy(entry->cameraInfo, cameraInfo, sizeof cameraInfo);
    }
    // Only a channel failure means a lost link; an IMAQ session or a COM port has nothing the
    // library could reopen, so its failure goes back to the host as it is.
    if (tested != TP_ERR_CHANNEL || entry->pclSerialInit == nullptr) return tested;

    LogMessage(level::kInfo, value, "Open_Cam_Ext: Connection lost, try to reconnect");
    bool reopened = false;
    {
        // No other call may use the old reference while it is closed and replaced.
        std::lock_guard line(entry->lineMutex);
        closeSerialGuarded(*entry);
        entry->serialRef = nullptr;
        reopened = entry->pclSerialInit(uint32_t(entry->board), &entry->serialRef) >= 0;
        if (!reopened) entry->serialRef = nullptr;
    }
    if (!reopened) {
        LogMessage(level::kError, value, "Open_Cam_Ext: Cannot open serial Cameralink Device");
        link.unlock();
        DriverEntry& lost = *entry;
        // The use ends under the lock: until it does, no other thread can free the entry, so the
        // entry found here is this board's, not a new open's in the same place. Unless another
        // thread is closing it already.
        std::unique_lock lock(driver_entry_crisec);
        entry.release();
        if (findEntry(value) == &lost) closeEntry(lock, lost);
        *handle = 0;
        return TP_ERR_HANDLE;
    }
    {
        // A freshly opened serial port starts at the grabber's default rate.
        std::lock_guard lock(driver_entry_crisec);
        entry->grabberRate = kDefaultGrabberRate;
    }
    return scan_camera_baudrate(*entry);
}

}  // namespace tessiport

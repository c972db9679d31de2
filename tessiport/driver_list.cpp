#include "tessiport/driver_list.h"

#include "tessiport/com_port_channel.h"
#include "tessiport/no_destructor.h"
#include "tessiport/serial_binding.h"

namespace tessiport {

std::recursive_mutex driver_entry_crisec;

std::array<DriverEntry, kDriverListSize>& driverlist() {
    static NoDestructor<std::array<DriverEntry, kDriverListSize>> entries;
    return entries.get();
}

DriverEntry* findEntry(uint32_t handle) {
    // 0 is no handle: it must not find a free entry.
    if (handle == 0)
        return nullptr;
    for (DriverEntry& entry : driverlist())
        if (entry.handle == handle && !entry.opening)
            return &entry;
    return nullptr;
}

DriverEntry* reserveFreeEntry(uint32_t handle) {
    for (DriverEntry& entry : driverlist()) {
        if (entry.handle == 0) {
            entry.handle = handle;
            entry.opening = true;
            return &entry;
        }
    }
    return nullptr;
}

DriverEntry* findBoard(int32_t board) {
    for (DriverEntry& entry : driverlist())
        if (entry.board == board)
            return &entry;
    return nullptr;
}

void releaseEntry(DriverEntry& entry) {
    closeComPort(entry);
    releaseSerialFunctions(entry);
    entry = DriverEntry{};
}

void clearDriverList() {
    for (DriverEntry& entry : driverlist())
        entry = DriverEntry{};
}

}  // namespace tessiport

#include "tessiport/driver_list.h"

#include "tessiport/com_port_channel.h"
#include "tessiport/serial_binding.h"

namespace tessiport {

std::recursive_mutex driver_entry_crisec;

std::array<DriverEntry, kDriverListSize>& driverlist() {
    static auto* const entries = new std::array<DriverEntry, kDriverListSize>;
    return *entries;
}

DriverEntry* findEntry(uint32_t handle) {
    for (DriverEntry& entry : driverlist())
        if (entry.handle == handle && !entry.opening) return &entry;
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
        if (entry.board == board) return &entry;
    return nullptr;
}

void releaseEntry(DriverEntry& entry) {
    closeComPort(entry);
    releaseSerialFunctions(entry);
    entry = DriverEntry{};
}

void clearDriverList() {
    for (DriverEntry& entry : driverlist()) entry = DriverEntry{};
}

}  // namespace tessiport

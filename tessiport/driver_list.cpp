#include "tessiport/driver_list.h"

#include <condition_variable>

#include "tessiport/com_port_channel.h"
#include "tessiport/library_log.h"
#include "tessiport/no_destructor.h"
#include "tessiport/serial_binding.h"

namespace tessiport {

std::recursive_mutex driver_entry_crisec;

std::array<DriverEntry, kDriverListSize>& driverlist() {
    static NoDestructor<std::array<DriverEntry, kDriverListSize>> entries;
    return entries.get();
}

namespace {
// A condition variable for the recursive lock, built from parts that need no heap: they are never
// destroyed (the process detach still waits on them), so nothing may be left to leak.
std::mutex& changeMutex() {
    static NoDestructor<std::mutex> mutex;
    return mutex.get();
}
std::condition_variable& changed() {
    static NoDestructor<std::condition_variable> condition;
    return condition.get();
}
}  // namespace

void notifyEntryChange() {
    // A waiter holds changeMutex from before it released driver_entry_crisec until it waits, so
    // taking it here means every waiter that saw the old state is waiting now.
    { std::lock_guard inner(changeMutex()); }
    changed().notify_all();
}

void waitForEntryChange(std::unique_lock<std::recursive_mutex>& lock) {
    std::unique_lock inner(changeMutex());
    lock.unlock();
    changed().wait(inner);
    inner.unlock();
    lock.lock();
}

DriverEntry* findTakenEntry(uint32_t handle) {
    // 0 is no handle: it must not find a free entry.
    if (handle == 0)
        return nullptr;
    for (DriverEntry& entry : driverlist())
        if (entry.handle == handle)
            return &entry;
    return nullptr;
}

DriverEntry* findEntry(uint32_t handle) {
    DriverEntry* entry = findTakenEntry(handle);
    return entry != nullptr && entry->state == EntryState::Open ? entry : nullptr;
}

DriverEntry* reserveFreeEntry(uint32_t handle, int32_t board) {
    for (DriverEntry& entry : driverlist()) {
        if (entry.handle == 0) {
            entry.handle = handle;
            entry.board = board;
            entry.state = EntryState::Opening;
            return &entry;
        }
    }
    return nullptr;
}

DriverEntry* findBoard(int32_t board) {
    for (DriverEntry& entry : driverlist())
        if (entry.handle != 0 && entry.board == board)
            return &entry;
    return nullptr;
}

void waitUntilSettled(std::unique_lock<std::recursive_mutex>& lock, const DriverEntry& entry) {
    const uint32_t handle = entry.handle;
    while (entry.handle == handle && entry.state != EntryState::Open)
        waitForEntryChange(lock);
}

EntryUse::EntryUse(uint32_t handle, bool duringOpen) {
    std::lock_guard lock(driver_entry_crisec);
    DriverEntry* entry = findTakenEntry(handle);
    if (entry == nullptr)
        return;
    const bool usable = entry->state == EntryState::Open ||
                        (duringOpen && entry->state == EntryState::Opening && entry->channelReady);
    if (!usable)
        return;
    ++entry->inFlight;
    entry_ = entry;
}

void EntryUse::release() {
    if (entry_ == nullptr)
        return;
    std::lock_guard lock(driver_entry_crisec);
    --entry_->inFlight;
    entry_ = nullptr;
    notifyEntryChange();
}

void closeEntry(std::unique_lock<std::recursive_mutex>& lock, DriverEntry& entry) {
    entry.state = EntryState::Closing;
    while (entry.inFlight != 0)
        waitForEntryChange(lock);
    if (entry.comPort == nullptr && entry.pclSerialClose != nullptr && entry.serialRef != nullptr) {
        LogMessage(level::kInfo, entry.handle, "Close_Cam: call pclSerialClose()");
        try {
            entry.pclSerialClose(entry.serialRef);
        } catch (...) {
            // A fault inside the grabber's close must not take the host down.
        }
    }
    if (entry.library.isOpen())
        LogMessage(level::kInfo, entry.handle, "Close_Cam: call FreeLibrary()");
    releaseEntry(entry);
}

void releaseEntry(DriverEntry& entry) {
    closeComPort(entry);
    releaseSerialFunctions(entry);
    entry.clear();
    notifyEntryChange();
}

void clearDriverList() {
    for (DriverEntry& entry : driverlist())
        entry.clear();
}

}  // namespace tessiport

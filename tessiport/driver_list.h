#pragma once
// The process-wide table of open boards and its lock. The lock is held for every lookup and
// reservation, for a grabber transaction until its reply has been read and in Close_Cam; never
// during a COM-port transaction, a rate change or an open's work on a reserved entry. What keeps
// an entry's channel alive while a call uses it without the lock is the call's EntryUse.

#include <array>
#include <cstdint>
#include <mutex>

#include "tessiport/driver_entry.h"

namespace tessiport {

// Ten entries; they live as long as the process (never destroyed), so the process detach can
// still close what is left after the static destructors have run.
std::array<DriverEntry, kDriverListSize>& driverlist();

// Trivially destructible on this platform, so usable until the very end of the process.
extern std::recursive_mutex driver_entry_crisec;
// Called, with driver_entry_crisec held, whenever an entry changes state or a call stops using
// one.
void notifyEntryChange();
// Releases `lock` (holding driver_entry_crisec once) until an entry changed, or spuriously, and
// takes it again. The caller checks what it waits for in a loop.
void waitForEntryChange(std::unique_lock<std::recursive_mutex>& lock);

// The caller holds driver_entry_crisec for these lookups.
// The open entry holding `handle`, or null (free, opening, closing entries are not found).
DriverEntry* findEntry(uint32_t handle);
// Any taken entry holding `handle`, whatever its state, or null.
DriverEntry* findTakenEntry(uint32_t handle);
// The first free entry, reserved (opening) for an open of `board` under `handle`, or null.
DriverEntry* reserveFreeEntry(uint32_t handle, int32_t board);
// The first taken entry of `board`, or null.
DriverEntry* findBoard(int32_t board);

// Waits until `entry` is no longer opening or closing (it may be free then). `lock` holds
// driver_entry_crisec once.
void waitUntilSettled(std::unique_lock<std::recursive_mutex>& lock, const DriverEntry& entry);

// A call's use of an entry's channel: while it lives, the entry is not closed.
class EntryUse {
public:
    // Finds `handle` (open, or opening with its channel ready when `duringOpen`) and counts the
    // use in; empty when there is no such entry.
    explicit EntryUse(uint32_t handle, bool duringOpen = false);
    ~EntryUse() { release(); }
    EntryUse(const EntryUse&) = delete;
    EntryUse& operator=(const EntryUse&) = delete;

    DriverEntry* operator->() const { return entry_; }
    DriverEntry& operator*() const { return *entry_; }
    explicit operator bool() const { return entry_ != nullptr; }
    void release();

private:
    DriverEntry* entry_ = nullptr;
};

// Closes an entry's channel (COM port, or the grabber's close, caught) and frees it once no call
// uses it any more: the entry turns closing at once, so no new call finds it. `lock` holds
// driver_entry_crisec once; it is released while waiting.
void closeEntry(std::unique_lock<std::recursive_mutex>& lock, DriverEntry& entry);
// Closes the entry's COM port or unloads its serial library, then clears it (free, board -1).
// Nothing may use the entry any more. The caller holds driver_entry_crisec.
void releaseEntry(DriverEntry& entry);
// Clears every entry without closing anything (process attach).
void clearDriverList();

}  // namespace tessiport

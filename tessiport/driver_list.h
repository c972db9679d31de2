#pragma once
// The process-wide table of open boards and its lock. The lock is held for every lookup and
// reservation, for a grabber transaction until its reply has been read and in Close_Cam; never
// during a COM-port transaction or an open's work on a reserved entry.

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

// The first open entry holding `handle`, or null; an entry still being opened is skipped. The
// caller holds driver_entry_crisec.
DriverEntry* findEntry(uint32_t handle);
// The first free entry, reserved for an open under `handle`, or null. The caller holds
// driver_entry_crisec.
DriverEntry* reserveFreeEntry(uint32_t handle);
// The first entry open for `board`, or null. The caller holds driver_entry_crisec.
DriverEntry* findBoard(int32_t board);

// Closes the entry's COM port or unloads its serial library, then clears it (free, board -1).
void releaseEntry(DriverEntry& entry);
// Clears every entry without closing anything (process attach).
void clearDriverList();

}  // namespace tessiport

#include "tessiport/process_attach.h"

#include <atomic>
#include <mutex>

#include "tessiport/driver_list.h"
#include "tessiport/library_log.h"
#include "tessiport/no_destructor.h"
#include "tessiport/shared_block.h"

namespace tessiport {

namespace {

// Never destroyed: the detach runs after the static destructors when the process exits.
SharedBlock& sharedBlock() {
    static NoDestructor<SharedBlock> block;
    return block.get();
}

std::atomic<bool> attached{false};

}  // namespace

bool attachProcess() {
    clearDriverList();
    SharedBlock& block = sharedBlock();
    if (block.attach(sharedBlockPath())) {
        SharedState& state = *block.state();
        if (block.isFirst())
            setUpLog(state.folder, state.logPath, state.paramPath);
        else
            usePaths(state.folder, state.logPath, state.paramPath);
        block.finishAttach();
        attached = true;
    }
    LogMessage(level::kStartup, 1, "driver_entry_crisec %x",
               unsigned(reinterpret_cast<uintptr_t>(&driver_entry_crisec)));
    return attached;
}

bool openSharedBlock() {
    return sharedBlock().open(sharedBlockPath());
}

void closeUnattachedBlock() {
    if (!attached) sharedBlock().detach();
}

void detachProcess() {
    SharedBlock& block = sharedBlock();
    LogMessage(level::kStartup, 1, "process detach DWDllOpened %d", block.processCount());
    // Every process closes what it left open: the boards and libraries are its own, whether or
    // not other processes still have the library loaded.
    {
        std::unique_lock lock(driver_entry_crisec);
        for (DriverEntry& entry : driverlist())
            if (entry.handle != 0 && entry.state == EntryState::Open)
                closeEntry(lock, entry);
    }
    // Only the last process ends the log; the others keep writing to it.
    if (block.detach())
        endLog();
    else
        closeLog();
    attached = false;
}

bool processAttached() {
    return attached;
}

}  // namespace tessiport

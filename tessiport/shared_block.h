#pragma once
// The shared block "TESSIPORT": the count of attached processes and the paths of the log and
// parameter files, shared by every process of one user that has the library loaded. A file mapped
// into memory, in a folder only that user can create entries in (the user's runtime folder, else
// the data folder), so no other user can create it first, lock it or plant paths in it. An
// existing block or lock object that is not a regular file of this user, open to no one else, is
// refused. The last process to detach removes both.
//
// Liveness: each attached process holds a shared lock on the block; the system drops it when the
// process ends, however it ends. A process that gets the exclusive lock is alone, so what the
// block holds (a count, paths) was left by processes that died and is reset. Attach and detach
// run under a second lock object so that two of them never interleave.

#include <cstddef>
#include <cstdint>
#include <string>

namespace tessiport {

constexpr size_t kSharedStateSize = 820;
constexpr size_t kSharedStateCleared = 800;  // what a first process zeroes
constexpr size_t kSharedPathSize = 260;

struct SharedState {
    uint32_t DWDllOpened;  // changed only through std::atomic_ref
    uint8_t reserved4[14];
    char logPath[kSharedPathSize];
    char paramPath[kSharedPathSize];
    char folder[kSharedPathSize];
    uint8_t reserved798[22];
};
static_assert(sizeof(SharedState) == kSharedStateSize);
static_assert(offsetof(SharedState, logPath) == 18);
static_assert(offsetof(SharedState, paramPath) == 278);
static_assert(offsetof(SharedState, folder) == 538);
static_assert(offsetof(SharedState, reserved798) == 798);

// "<folder>/TESSIPORT", with "-<instance>" appended when TESSIPORT_INSTANCE is set (letters,
// digits, '_' only; anything else is ignored): separate instances for tests that run side by side.
// The folder is the runtime folder when it is private, else the data folder (created if needed);
// empty when neither is private to this user. The lock object is the same path with ".lock".
std::string sharedBlockPath();

class SharedBlock {
public:
    static constexpr size_t kNameSize = 320;

    SharedBlock() = default;
    ~SharedBlock() { detach(); }
    SharedBlock(const SharedBlock&) = delete;
    SharedBlock& operator=(const SharedBlock&) = delete;

    // Opens or creates the block and its lock object and maps the block, without waiting and
    // without counting this process in: what Windows allows while it loads the library, which
    // does not load without its block. attach() goes on from there. Elsewhere there is nothing
    // to open early: true, and attach() does it all.
    bool open(const std::string& name);

    // Opens or creates the block at `name` (a path), takes the shared liveness lock and maps it. When this
    // process is alone, the block is zeroed and isFirst() is true. The attach lock stays held
    // until finishAttach(), so the first process can set up the paths before anyone reads them.
    // False (nothing held) when the block cannot be opened, sized, locked or mapped.
    bool attach(const std::string& name);
    // Counts this process in and lets other processes attach or detach.
    void finishAttach();

    // Counts this process out. True when no other process is attached any more (the block and
    // its lock object are then removed). Unmaps and closes in every case.
    bool detach();

    bool isAttached() const { return state_ != nullptr; }
    bool isFirst() const { return first_; }
    SharedState* state() const { return state_; }
    uint32_t processCount() const;

private:
    void releaseAll();

    char name_[kNameSize] = {};  // no heap: the block object outlives the library's heap users
    char lockName_[kNameSize] = {};
    // The system's references to the lock object and the block (descriptors here; wide enough for
    // another system's handles).
    intptr_t guardFd_ = -1;
    intptr_t blockFd_ = -1;
    SharedState* state_ = nullptr;
    bool first_ = false;
    bool counted_ = false;  // Windows: finishAttach() counted this process in
};

}  // namespace tessiport

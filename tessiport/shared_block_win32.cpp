// The shared block on Windows: the named file mapping "TESSIPORT" backed by the paging file,
// 820 bytes, the process count changed with InterlockedIncrement and InterlockedDecrement.
//
// Liveness comes from the system here: a mapping exists as long as some process holds a handle
// to it, so a process that creates it is alone and starts from a zeroed block. A process that
// dies while others stay leaves its count behind until the last of them ends.
//
// A named mutex keeps attaches one at a time, so the first process sets up the paths before
// anyone reads them. Detach waits for nothing: it runs under the loader lock.
// The descriptor members hold the mutex and the mapping handle here.
#include <windows.h>

#include <cstring>

#include "tessiport/shared_block.h"

namespace tessiport {

namespace {
constexpr DWORD kAttachWaitMs = 10000;

HANDLE handleOf(intptr_t value) {
    return value == -1 ? nullptr : reinterpret_cast<HANDLE>(value);
}

intptr_t valueOf(HANDLE handle) {
    return handle == nullptr ? -1 : reinterpret_cast<intptr_t>(handle);
}

LONG volatile* countOf(SharedState* state) {
    return reinterpret_cast<LONG volatile*>(&state->DWDllOpened);
}
}  // namespace

bool SharedBlock::attach(const std::string& name) {
    detach();
    if (name.size() + sizeof ".attach" > sizeof name_)
        return false;
    std::memcpy(name_, name.c_str(), name.size() + 1);
    const std::string guardName = name + ".attach";
    HANDLE guard = ::CreateMutexA(nullptr, FALSE, guardName.c_str());
    // An abandoned mutex was held by a process that died; the block is still consistent enough
    // for a count and three paths.
    const DWORD waited =
        guard != nullptr ? ::WaitForSingleObject(guard, kAttachWaitMs) : WAIT_FAILED;
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        if (guard != nullptr)
            ::CloseHandle(guard);
        return false;
    }
    guardFd_ = valueOf(guard);

    bool created = false;
    HANDLE mapping = ::OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name.c_str());
    if (mapping == nullptr) {
        mapping = ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                       DWORD(kSharedStateSize), name.c_str());
        created = mapping != nullptr && ::GetLastError() != ERROR_ALREADY_EXISTS;
    }
    void* view = mapping != nullptr
                     ? ::MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, kSharedStateSize)
                     : nullptr;
    if (view == nullptr) {
        if (mapping != nullptr)
            ::CloseHandle(mapping);
        ::ReleaseMutex(guard);
        releaseAll();
        return false;
    }
    blockFd_ = valueOf(mapping);
    state_ = static_cast<SharedState*>(view);
    first_ = created;
    if (created)
        std::memset(state_, 0, kSharedStateCleared);
    return true;
}

void SharedBlock::finishAttach() {
    if (state_ == nullptr)
        return;
    ::InterlockedIncrement(countOf(state_));
    ::ReleaseMutex(handleOf(guardFd_));
}

uint32_t SharedBlock::processCount() const {
    return state_ != nullptr ? uint32_t(::InterlockedCompareExchange(countOf(state_), 0, 0)) : 0;
}

bool SharedBlock::detach() {
    if (state_ == nullptr) {
        releaseAll();
        return false;
    }
    const bool last = ::InterlockedDecrement(countOf(state_)) <= 0;
    releaseAll();
    return last;
}

void SharedBlock::releaseAll() {
    if (state_ != nullptr)
        ::UnmapViewOfFile(state_);
    state_ = nullptr;
    if (blockFd_ != -1)
        ::CloseHandle(handleOf(blockFd_));
    blockFd_ = -1;
    if (guardFd_ != -1)
        ::CloseHandle(handleOf(guardFd_));
    guardFd_ = -1;
    first_ = false;
}

}  // namespace tessiport

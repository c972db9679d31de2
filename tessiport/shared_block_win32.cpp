// The shared block on Windows: the named file mapping "TESSIPORT" backed by the paging file,
// 820 bytes, the process count changed with InterlockedIncrement and InterlockedDecrement.
//
// The library's entry point opens or creates the mapping and its attach mutex (open()), with
// kernel32 calls only and without waiting, as it runs under the loader lock; a library that
// cannot have them does not load. Both get a security descriptor that lets every user open them
// for what the library does with them, so a host that runs elevated and loads the library first
// does not lock out the hosts of a standard user. The attach proper runs later, under the
// mutex: a process that finds no other process counted in is alone and starts from a zeroed
// block. A process that dies while others stay leaves its count behind until the last of them
// ends (the mapping goes with the last handle).
//
// Detach waits for nothing: it runs under the loader lock. The descriptor members hold the mutex
// and the mapping handle here.
#include <windows.h>

#include <cstring>

#include "platform/wide_text.h"
#include "tessiport/shared_block.h"

namespace tessiport {

namespace {
constexpr DWORD kAttachWaitMs = 10000;

// What every user is allowed: mapping the block for reading and writing, and waiting for and
// releasing the mutex; reading the descriptor in both cases. Not: changing the descriptor or the
// owner, nor deleting.
constexpr DWORD kBlockRights = SECTION_QUERY | SECTION_MAP_READ | SECTION_MAP_WRITE | READ_CONTROL;
constexpr DWORD kMutexRights = SYNCHRONIZE | MUTEX_MODIFY_STATE | READ_CONTROL;

// A self-relative security descriptor whose access list holds one entry: Everyone (S-1-1-0) is
// allowed `rights`. Laid out as data, so that building it calls nothing outside kernel32.
class EveryoneAllowed {
public:
    explicit EveryoneAllowed(DWORD rights) {
        constexpr BYTE kEveryone[] = {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};
        BYTE* at = bytes_;
        // Revision 1, control: a DACL is present, self-relative; the DACL right behind.
        *at++ = SECURITY_DESCRIPTOR_REVISION;
        *at++ = 0;
        at = put16(at, SE_DACL_PRESENT | SE_SELF_RELATIVE);
        at = put32(at, 0);  // owner: the creator's
        at = put32(at, 0);  // group
        at = put32(at, 0);  // SACL
        at = put32(at, kDescriptorSize);
        // The ACL header: revision, size, one entry.
        *at++ = ACL_REVISION;
        *at++ = 0;
        at = put16(at, WORD(kAclSize + kAceSize));
        at = put16(at, 1);
        at = put16(at, 0);
        // The entry: allowed, no inheritance, its size, the rights, the SID.
        *at++ = ACCESS_ALLOWED_ACE_TYPE;
        *at++ = 0;
        at = put16(at, kAceSize);
        at = put32(at, rights);
        std::memcpy(at, kEveryone, sizeof kEveryone);
        attributes_.nLength = sizeof attributes_;
        attributes_.lpSecurityDescriptor = bytes_;
        attributes_.bInheritHandle = FALSE;
    }
    SECURITY_ATTRIBUTES* attributes() { return &attributes_; }

private:
    static constexpr WORD kDescriptorSize = 20;
    static constexpr WORD kAclSize = 8;
    static constexpr WORD kAceSize = 8 + 12;  // header and mask, then the SID

    static BYTE* put16(BYTE* at, WORD value) {
        std::memcpy(at, &value, sizeof value);
        return at + sizeof value;
    }
    static BYTE* put32(BYTE* at, DWORD value) {
        std::memcpy(at, &value, sizeof value);
        return at + sizeof value;
    }

    alignas(4) BYTE bytes_[kDescriptorSize + kAclSize + kAceSize] = {};
    SECURITY_ATTRIBUTES attributes_{};
};

// Opened first with the rights the library needs, as another user may have created them;
// created when missing. Two processes may create at once: the one that loses finds the other's.
HANDLE openOrCreateMutex(const std::wstring& name) {
    EveryoneAllowed security(kMutexRights);
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (HANDLE mutex = ::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name.c_str()))
            return mutex;
        if (HANDLE mutex = ::CreateMutexW(security.attributes(), FALSE, name.c_str()))
            return mutex;
    }
    return nullptr;
}

HANDLE openOrCreateMapping(const std::wstring& name) {
    EveryoneAllowed security(kBlockRights);
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (HANDLE mapping =
                ::OpenFileMappingW(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, name.c_str()))
            return mapping;
        if (HANDLE mapping =
                ::CreateFileMappingW(INVALID_HANDLE_VALUE, security.attributes(), PAGE_READWRITE,
                                     0, DWORD(kSharedStateSize), name.c_str()))
            return mapping;
    }
    return nullptr;
}

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

bool SharedBlock::open(const std::string& name) {
    if (state_ != nullptr)
        return true;
    releaseAll();
    if (name.empty() || name.size() + sizeof ".attach" > sizeof name_)
        return false;
    std::memcpy(name_, name.c_str(), name.size() + 1);
    HANDLE guard = openOrCreateMutex(platform::widen(name + ".attach"));
    HANDLE mapping = guard != nullptr ? openOrCreateMapping(platform::widen(name)) : nullptr;
    void* view = mapping != nullptr
                     ? ::MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0,
                                       kSharedStateSize)
                     : nullptr;
    guardFd_ = valueOf(guard);
    blockFd_ = valueOf(mapping);
    if (view == nullptr) {
        releaseAll();
        return false;
    }
    state_ = static_cast<SharedState*>(view);
    return true;
}

bool SharedBlock::attach(const std::string& name) {
    if (counted_)
        detach();
    if (!open(name))
        return false;
    // An abandoned mutex was held by a process that died; the block is still consistent enough
    // for a count and three paths.
    const DWORD waited = ::WaitForSingleObject(handleOf(guardFd_), kAttachWaitMs);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        releaseAll();
        return false;
    }
    first_ = processCount() == 0;
    if (first_)
        std::memset(state_, 0, kSharedStateCleared);
    return true;
}

void SharedBlock::finishAttach() {
    if (state_ == nullptr || counted_)
        return;
    ::InterlockedIncrement(countOf(state_));
    counted_ = true;
    ::ReleaseMutex(handleOf(guardFd_));
}

uint32_t SharedBlock::processCount() const {
    return state_ != nullptr ? uint32_t(::InterlockedCompareExchange(countOf(state_), 0, 0)) : 0;
}

bool SharedBlock::detach() {
    const bool last = counted_ && state_ != nullptr && ::InterlockedDecrement(countOf(state_)) <= 0;
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
    counted_ = false;
}

}  // namespace tessiport

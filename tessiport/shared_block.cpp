#include "tessiport/shared_block.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/clock.h"
#include "platform/regular_file.h"

namespace tessiport {

namespace {

// A creator sizes the block under the attach lock, so an unsized block seen by a later process
// comes from one that has not got that far (or never will); waiting longer would not help.
constexpr platform::Milliseconds kSizeWait{500};
constexpr platform::Milliseconds kSizePoll{5};
constexpr int kOpenAttempts = 5;

// Only regular files of this user that no one else may open are used.
bool ownedPrivately(int fd) {
    struct stat info {};
    return fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == geteuid() &&
           (info.st_mode & 077) == 0;
}

off_t sizeOf(int fd) {
    struct stat info {};
    return fstat(fd, &info) == 0 ? info.st_size : -1;
}

// The object at `path`, created here when it does not exist yet (`created` then true). -1 when
// something else stands under the name.
int openPrivateFile(const char* path, bool& created) {
    created = false;
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        int fd = platform::createRegularFile(path, platform::FileAccess::Append);
        if (fd >= 0) {
            created = true;
            return fd;
        }
        if (errno != EEXIST)
            return -1;
        fd = platform::openRegularFile(path, platform::FileAccess::Append);
        if (fd >= 0 && !ownedPrivately(fd)) {
            close(fd);
            return -1;
        }
        if (fd >= 0 || errno != ENOENT)
            return fd;
        // Removed by a detaching process between the two calls: try again.
    }
    return -1;
}

// Whether `fd` is still the file at `path`: a detaching process may have removed the lock
// object after this process opened it, and a lock on a removed object guards nothing.
bool stillNamed(int fd, const char* path) {
    struct stat opened {}, named {};
    return fstat(fd, &opened) == 0 && stat(path, &named) == 0 && opened.st_dev == named.st_dev &&
           opened.st_ino == named.st_ino;
}

// The attach lock, held exclusively.
int lockGuard(const char* path) {
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        bool created = false;
        const int fd = openPrivateFile(path, created);
        if (fd < 0)
            return -1;
        if (flock(fd, LOCK_EX) == 0 && stillNamed(fd, path))
            return fd;
        close(fd);
    }
    return -1;
}

bool waitForSize(int fd) {
    platform::Clock& clock = platform::realClock();
    const platform::Milliseconds end = clock.now() + kSizeWait;
    while (sizeOf(fd) < off_t(kSharedStateSize)) {
        if (clock.now() >= end)
            return false;
        clock.sleepFor(kSizePoll);
    }
    return true;
}

}  // namespace

bool SharedBlock::open(const std::string&) {
    return true;
}

bool SharedBlock::attach(const std::string& name) {
    detach();
    const std::string lockName = name + ".lock";
    if (name.empty() || lockName.size() >= sizeof lockName_)
        return false;
    std::memcpy(name_, name.c_str(), name.size() + 1);
    std::memcpy(lockName_, lockName.c_str(), lockName.size() + 1);
    guardFd_ = lockGuard(lockName_);
    if (guardFd_ < 0) {
        releaseAll();
        return false;
    }
    bool created = false;
    blockFd_ = openPrivateFile(name_, created);
    if (blockFd_ < 0) {
        releaseAll();
        return false;
    }
    const bool alone = flock(blockFd_, LOCK_EX | LOCK_NB) == 0;
    const bool sized = created || alone ? ftruncate(blockFd_, off_t(kSharedStateSize)) == 0
                                        : waitForSize(blockFd_);
    if (!sized || (!alone && flock(blockFd_, LOCK_SH | LOCK_NB) != 0)) {
        if (created)
            unlink(name_);
        releaseAll();
        return false;
    }
    void* mapped = mmap(nullptr, kSharedStateSize, PROT_READ | PROT_WRITE, MAP_SHARED, blockFd_, 0);
    if (mapped == MAP_FAILED) {
        if (created)
            unlink(name_);
        releaseAll();
        return false;
    }
    state_ = static_cast<SharedState*>(mapped);
    first_ = alone;
    if (alone) {
        // Whatever is here was left by processes that are gone.
        std::memset(state_, 0, kSharedStateCleared);
        flock(blockFd_, LOCK_SH);
    }
    return true;
}

void SharedBlock::finishAttach() {
    if (state_ == nullptr)
        return;
    std::atomic_ref<uint32_t>(state_->DWDllOpened).fetch_add(1);
    flock(guardFd_, LOCK_UN);
}

uint32_t SharedBlock::processCount() const {
    return state_ != nullptr ? std::atomic_ref<uint32_t>(state_->DWDllOpened).load() : 0;
}

bool SharedBlock::detach() {
    if (state_ == nullptr) {
        releaseAll();
        return false;
    }
    flock(guardFd_, LOCK_EX);
    std::atomic_ref<uint32_t> count(state_->DWDllOpened);
    uint32_t now = count.load();
    while (now > 0 && !count.compare_exchange_weak(now, now - 1)) {
    }
    // The exclusive lock is granted only when no other process holds its shared one.
    const bool last = flock(blockFd_, LOCK_EX | LOCK_NB) == 0;
    if (last) {
        unlink(name_);
        // Removed while still held: a process waiting for it sees that and opens a new one.
        unlink(lockName_);
    }
    releaseAll();
    return last;
}

void SharedBlock::releaseAll() {
    if (state_ != nullptr)
        munmap(state_, kSharedStateSize);
    state_ = nullptr;
    if (blockFd_ >= 0)
        close(blockFd_);
    blockFd_ = -1;
    if (guardFd_ >= 0)
        close(guardFd_);
    guardFd_ = -1;
    first_ = false;
}

}  // namespace tessiport

#include "tessiport/shared_block.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/clock.h"

namespace tessiport {

namespace {

// A creator sizes the block under the attach lock, so an unsized block seen by a later process
// comes from one that has not got that far (or never will); waiting longer would not help.
constexpr platform::Milliseconds kSizeWait{500};
constexpr platform::Milliseconds kSizePoll{5};
constexpr int kOpenAttempts = 5;

// Only objects of this user that no one else may write are used.
bool ownedPrivately(int fd) {
    struct stat info{};
    return fstat(fd, &info) == 0 && info.st_uid == geteuid() && (info.st_mode & 077) == 0;
}

int openOwned(const std::string& name, int flags) {
    const int fd = shm_open(name.c_str(), flags | O_RDWR, 0600);
    if (fd >= 0 && !ownedPrivately(fd)) {
        close(fd);
        return -1;
    }
    return fd;
}

off_t sizeOf(int fd) {
    struct stat info{};
    return fstat(fd, &info) == 0 ? info.st_size : -1;
}

// The block, created here when it does not exist yet.
int openBlock(const std::string& name, bool& created) {
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        int fd = shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
        if (fd >= 0) {
            created = true;
            return fd;
        }
        if (errno != EEXIST) return -1;
        fd = openOwned(name, 0);
        if (fd >= 0 || errno != ENOENT) return fd;
        // Removed by a detaching process between the two calls: try again.
    }
    return -1;
}

bool waitForSize(int fd) {
    platform::Clock& clock = platform::realClock();
    const platform::Milliseconds end = clock.now() + kSizeWait;
    while (sizeOf(fd) < off_t(kSharedStateSize)) {
        if (clock.now() >= end) return false;
        clock.sleepFor(kSizePoll);
    }
    return true;
}

}  // namespace

std::string sharedBlockName() {
    std::string name = "/TESSIPORT-" + std::to_string(geteuid());
    const char* instance = std::getenv("TESSIPORT_INSTANCE");
    if (instance == nullptr || *instance == '\0') return name;
    for (const char* c = instance; *c != '\0'; ++c)
        if (!std::isalnum(static_cast<unsigned char>(*c)) && *c != '_') return name;
    return name + "-" + instance;
}

bool SharedBlock::attach(const std::string& name) {
    detach();
    name_ = name;
    guardFd_ = openOwned(name + ".lock", O_CREAT);
    if (guardFd_ < 0 || flock(guardFd_, LOCK_EX) != 0) {
        releaseAll();
        return false;
    }
    bool created = false;
    blockFd_ = openBlock(name, created);
    if (blockFd_ < 0) {
        releaseAll();
        return false;
    }
    const bool alone = flock(blockFd_, LOCK_EX | LOCK_NB) == 0;
    const bool sized = created || alone
                           ? ftruncate(blockFd_, off_t(kSharedStateSize)) == 0
                           : waitForSize(blockFd_);
    if (!sized || (!alone && flock(blockFd_, LOCK_SH | LOCK_NB) != 0)) {
        if (created) shm_unlink(name.c_str());
        releaseAll();
        return false;
    }
    void* mapped =
        mmap(nullptr, kSharedStateSize, PROT_READ | PROT_WRITE, MAP_SHARED, blockFd_, 0);
    if (mapped == MAP_FAILED) {
        if (created) shm_unlink(name.c_str());
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
    if (state_ == nullptr) return;
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
    if (last) shm_unlink(name_.c_str());
    releaseAll();
    return last;
}

void SharedBlock::releaseAll() {
    if (state_ != nullptr) munmap(state_, kSharedStateSize);
    state_ = nullptr;
    if (blockFd_ >= 0) close(blockFd_);
    blockFd_ = -1;
    if (guardFd_ >= 0) close(guardFd_);
    guardFd_ = -1;
    first_ = false;
}

}  // namespace tessiport

#pragma once
// One camsim per state folder and per --link path: a lock file held for the life of the process.

#include <memory>
#include <string>

namespace sim {

class InstanceLock {
public:
    // Takes the lock file `path` (made when missing) and writes this process's id into it. Null
    // with a message naming `what` when another process holds it (`busy` set) or when the file
    // cannot be made.
    static std::unique_ptr<InstanceLock> acquire(const std::string& path, const std::string& what,
                                                 bool& busy, std::string& error);
    // Removes the file, then releases the lock.
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

private:
    InstanceLock(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

    int fd_;
    std::string path_;
};

}  // namespace sim

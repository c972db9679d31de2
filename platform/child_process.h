#pragma once
// A program started by this one with its standard output and standard error in pipes this one
// reads, and standard input from the null device.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();  // closes the pipes; a child still running is waited for
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts `program` with `arguments` (without the program's name). The child gets no stop
    // requests of the console or terminal of its own: it stops when stop() asks it. 0 or an errno
    // value (Windows: the system's error code).
    int start(const std::string& program, const std::vector<std::string>& arguments);
    // Reads what the child wrote to standard output (`errors`: standard error); blocks until
    // something came. 0 at the end, -1 on an error.
    long read(bool errors, char* buffer, size_t size);
    // Asks the child to stop at its next safe point, as Ctrl-C would (`request` is one of the
    // stop requests of platform/stop_requests.h).
    void stop(int request);
    // Waits for the child's end: its exit status, 128 + the signal that ended it.
    int wait();

    // The path of the running program, to start another copy of it.
    static std::string ownProgram();

private:
    intptr_t process_ = -1;  // pid or process handle
    intptr_t output_ = -1;   // read ends of the pipes
    intptr_t errors_ = -1;
    int status_ = -1;
};

}  // namespace platform

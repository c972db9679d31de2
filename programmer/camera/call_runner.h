#pragma once
// Where the camera link's blocking calls run (a telegram and its reply, an open with its baud
// search). A front end with windows hands the link a runner that keeps its windows answering
// while a call blocks; without one, a call runs on the caller's thread.

#include <functional>

namespace camera {

class CallRunner {
public:
    virtual ~CallRunner() = default;
    // Runs `call` to its end before returning; what it throws reaches the caller.
    virtual void run(const std::function<void()>& call) = 0;
};

}  // namespace camera

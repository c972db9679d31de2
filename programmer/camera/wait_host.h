#pragma once
// What the camera link needs of the dialog while it waits: a status line for its spinner texts,
// the message pump (at most 100 ms per call) and the clock that every wait sleeps on.

#include <string>

#include "platform/clock.h"

namespace camera {

class WaitHost {
public:
    virtual ~WaitHost() = default;
    virtual void showStatus(const std::string& text) = 0;
    // Handle pending window messages for at most 100 ms.
    virtual void pumpMessages() = 0;
    virtual platform::Clock& clock() = 0;
};

}  // namespace camera

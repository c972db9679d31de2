#pragma once
// The building blocks of every wait of the camera link: a status text shown through the host and
// cleared at once, and one 100 ms wait cycle with the spinner and the message pump.

#include "programmer/camera/cam_update.h"
#include "programmer/camera/wait_host.h"

namespace camera {

constexpr platform::Milliseconds kWaitCycle{100};

// Formats into the link's status text, shows it and zero-fills the status text again.
void showStatus(CCamUpdate& cam, WaitHost& host, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Sleeps `total` in steps of at most one wait cycle and pumps window messages after each, so a
// plain pause of a flow leaves the windows answering as well.
void waitPumping(WaitHost& host, platform::Milliseconds total);

// `spinnerFormat` holds one %c for the spinner character of `counter`. Shows it, sleeps 100 ms
// and pumps window messages.
void spinnerCycle(CCamUpdate& cam, WaitHost& host, const char* spinnerFormat, int counter);

}  // namespace camera

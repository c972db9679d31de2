#pragma once
// Keeps the machine awake and up while the camera is written: a run that a sleeping or shutting
// down computer cuts can leave the camera unable to boot. Linux holds a logind inhibitor lock
// ("sleep:shutdown:idle", mode block) on the system bus; Windows asks for ES_SYSTEM_REQUIRED and
// refuses the end of the session with a reason its windows show. Whatever is not there (no bus,
// no logind) is said once on stderr, and the run goes on without the hold.

#include <memory>

namespace platform {

// What the user is told when the system asks why it may not sleep or shut down.
inline constexpr char kRunGuardReason[] =
    "kelvoflash is writing the camera's firmware. Do not switch off.";

// Held for as long as it lives.
class RunGuard {
public:
    virtual ~RunGuard() = default;
};

// Takes the hold of the system; never fails (without a hold the object holds nothing).
std::unique_ptr<RunGuard> guardRun();

}  // namespace platform

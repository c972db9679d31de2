#include "platform/stop_requests.h"

#include <signal.h>

#include <initializer_list>

namespace platform {

namespace {
sigset_t stopSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (const int number : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&set, number);
    return set;
}
}  // namespace

static_assert(kStopHangUp == SIGHUP && kStopInterrupt == SIGINT && kStopTerminate == SIGTERM);

void installStopHandler(StopHandler handler) {
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_mask = stopSignals();
    action.sa_flags = SA_RESTART;
    for (const int number : {SIGINT, SIGTERM, SIGHUP})
        sigaction(number, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

void holdStopRequests() {
    const sigset_t set = stopSignals();
    sigprocmask(SIG_BLOCK, &set, nullptr);
}

void releaseStopRequests() {
    const sigset_t set = stopSignals();
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

}  // namespace platform

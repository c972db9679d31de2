#include "programmer/cli/interruption.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/stop_requests.h"

namespace cli::interruption {

namespace {

constexpr size_t kTextMax = 2048;

struct Text {
    char bytes[kTextMax];
    size_t length = 0;
};

volatile sig_atomic_t signals = 0;
volatile sig_atomic_t first = 0;
volatile sig_atomic_t running = 0;
Text firstText, secondText, secondJson;
void (*volatile forwardTo)(int) = nullptr;

void put(int fd, const Text& text) {
    size_t done = 0;
    while (done < text.length) {
        const ssize_t written = ::write(fd, text.bytes + done, text.length - done);
        if (written <= 0)
            return;
        done += size_t(written);
    }
}

void copy(Text& to, const std::string& from) {
    to.length = std::min(from.size(), kTextMax);
    std::memcpy(to.bytes, from.data(), to.length);
}

void onSignal(int number) {
    const int saved = errno;
    if (signals == 0)
        first = number;
    signals = signals + 1;
    if (forwardTo != nullptr) {
        forwardTo(number);
    } else if (!running) {
        _exit(128 + number);
    } else if (signals == 1) {
        put(STDERR_FILENO, firstText);
    } else {
        put(STDERR_FILENO, secondText);
        put(STDOUT_FILENO, secondJson);
        _exit(128 + first);
    }
    errno = saved;
}

}  // namespace

void install() {
    platform::installStopHandler(onSignal);
}

void forwardSignals(void (*forward)(int)) {
    forwardTo = forward;
}

void setRunning(bool on) {
    running = on ? 1 : 0;
}

void setTexts(const std::string& firstLine, const std::string& secondLine,
              const std::string& json) {
    platform::holdStopRequests();
    copy(firstText, firstLine);
    copy(secondText, secondLine);
    copy(secondJson, json);
    platform::releaseStopRequests();
}

int count() {
    return signals;
}

int firstSignal() {
    return first;
}

int exitStatus() {
    return 128 + first;
}

const char* signalName(int number) {
    switch (number) {
        case platform::kStopInterrupt:
            return "SIGINT";
        case platform::kStopTerminate:
            return "SIGTERM";
        case platform::kStopHangUp:
            return "SIGHUP";
    }
    return "signal";
}

void setRunTexts(const std::string& firstCause, const std::string& secondCause,
                 const nlohmann::json& immediate, bool json) {
    setTexts("\nInterrupted: " + firstCause + " Press Ctrl-C again to stop at once.\n",
             "\nStopped at once: " + secondCause + "\n",
             json ? immediate.dump() + "\n" : std::string());
}

bool runInterruptible(RunReporter& reporter, std::function<void(int row, bool finished)> prepare,
                      const std::function<void(const app::RunHooks&)>& flow) {
    prepare(-1, true);
    reporter.onDeviceStep = std::move(prepare);
    setRunning(true);
    flow({&reporter, [] { return count() > 0; }});
    setRunning(false);
    reporter.onDeviceStep = nullptr;
    return count() > 0;
}

int reportInterrupted(RunReporter& reporter, ConsoleHost& host, nlohmann::json details,
                      const std::string& how) {
    const char* signal = signalName(firstSignal());
    details["event"] = "interrupted";
    details["signal"] = signal;
    details["immediate"] = false;
    reporter.event(details);
    host.note(std::string("Interrupted by ") + signal + how);
    return exitStatus();
}

}  // namespace cli::interruption

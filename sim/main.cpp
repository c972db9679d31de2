// camsim: a virtual camera on a pseudo terminal. See --help.

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "sim/camlink_endpoint.h"
#include "sim/flash_device.h"
#include "sim/instance_lock.h"
#include "sim/options.h"
#include "protocol/recording/recording_file.h"
#include "sim/pty_endpoint.h"
#include "sim/replayer.h"
#include "sim/sim_server.h"
#include "project_version.h"

namespace {

// Stop signals arrive through a descriptor, so the poll loop sees them like any input.
int stopSignalFd() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    if (sigprocmask(SIG_BLOCK, &set, nullptr) != 0) return -1;
    return signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
}

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInUse = 3;  // another camsim holds the state folder or the link

int fail(const std::string& message, int status = kExitFailed) {
    std::fprintf(stderr, "camsim: %s\n", message.c_str());
    return status;
}

// Null with the message printed and `status` set when another camsim holds `path`.
std::unique_ptr<sim::InstanceLock> lockFor(const std::string& path, const std::string& what,
                                           int& status) {
    bool busy = false;
    std::string error;
    auto lock = sim::InstanceLock::acquire(path, what, busy, error);
    if (!lock) status = fail(error, busy ? kExitInUse : kExitFailed);
    return lock;
}

}  // namespace

int main(int argc, char** argv) {
    sim::SimOptions options;
    std::string error;
    if (!sim::parseOptions(std::vector<std::string>(argv + 1, argv + argc), options, error))
        return fail(error, kExitUsage);
    if (options.help || options.version) {
        std::fputs(options.help ? sim::helpText().c_str() : "camsim " KF_PROJECT_VERSION "\n",
                   stdout);
        return 0;
    }
    signal(SIGPIPE, SIG_IGN);

    int status = 0;
    sim::DeviceStore store;
    std::unique_ptr<sim::InstanceLock> stateLock;
    if (!options.stateDir.empty()) {
        if (!store.attachStateFolder(options.stateDir, error)) return fail(error);
        stateLock = lockFor(options.stateDir + "/camsim.lock",
                            "the state folder " + options.stateDir, status);
        if (!stateLock) return status;
    }
    for (const int row : options.plainDataRows) store.device(row).keepVersionApart();
    for (const sim::FirmwareSetting& f : options.firmware)
        store.device(f.row).writeVersionBlock({f.minor, f.major, f.variant});

    std::optional<recording::Recording> recording;
    if (!options.replayPath.empty()) {
        recording.emplace();
        if (!recording::loadRecording(options.replayPath, *recording, error))
            return fail("cannot replay " + error);
        if (recording->cut)
            std::fprintf(stderr,
                         "camsim: %s ends inside an event (the recording was cut off); "
                         "replaying up to its last whole event\n",
                         options.replayPath.c_str());
    }

    const int stopFd = stopSignalFd();
    if (stopFd < 0) return fail("cannot set up signal handling");
    auto port = sim::PtyEndpoint::create(error);
    if (!port) return fail(error);
    std::unique_ptr<sim::PortLink> link;
    std::unique_ptr<sim::InstanceLock> linkLock;
    if (!options.linkPath.empty()) {
        linkLock = lockFor(options.linkPath + ".lock", "the link " + options.linkPath, status);
        if (!linkLock) return status;
        link = sim::PortLink::create(options.linkPath, port->slavePath(), error);
        if (!link) return fail(error);
    }
    std::unique_ptr<sim::CamLinkEndpoint> camLink;
    if (options.camlinkPort >= 0) {
        camLink = sim::CamLinkEndpoint::create(uint16_t(options.camlinkPort), options.clBaud,
                                               options.paceBaud > 0, error);
        if (!camLink) return fail(error);
    }
    std::printf("%s\n", port->slavePath().c_str());
    if (camLink) std::printf("camlink 127.0.0.1:%u\n", unsigned(camLink->port()));
    std::fflush(stdout);

    sim::SimServer server(options, store, *port, camLink.get());
    std::unique_ptr<sim::Replayer> replayer;
    if (recording) {
        replayer = std::make_unique<sim::Replayer>(std::move(*recording), options,
                                                   options.replayFast);
        server.replay(replayer.get());
    }
    const int rc = server.run(stopFd, options.watchStdin ? STDIN_FILENO : -1);
    if (!store.saveChanged(error)) return fail(error);
    close(stopFd);
    if (replayer && rc == 0) return replayer->finish();
    return rc;
}

// camsim: a virtual camera on a pseudo terminal. See --help.

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "sim/camlink_endpoint.h"
#include "sim/flash_device.h"
#include "sim/options.h"
#include "sim/pty_endpoint.h"
#include "sim/sim_server.h"

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

int fail(const std::string& message) {
    std::fprintf(stderr, "camsim: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    sim::SimOptions options;
    std::string error;
    if (!sim::parseOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "camsim: %s\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(sim::helpText().c_str(), stdout);
        return 0;
    }
    signal(SIGPIPE, SIG_IGN);

    sim::DeviceStore store;
    if (!options.stateDir.empty() && !store.attachStateFolder(options.stateDir, error))
        return fail(error);
    for (const sim::FirmwareSetting& f : options.firmware)
        store.device(f.row).writeVersionBlock({f.minor, f.major, f.variant});

    const int stopFd = stopSignalFd();
    if (stopFd < 0) return fail("cannot set up signal handling");
    auto port = sim::PtyEndpoint::create(error);
    if (!port) return fail(error);
    std::unique_ptr<sim::PortLink> link;
    if (!options.linkPath.empty()) {
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
    const int rc = server.run(stopFd, options.watchStdin ? STDIN_FILENO : -1);
    if (!store.saveChanged(error)) return fail(error);
    close(stopFd);
    return rc;
}

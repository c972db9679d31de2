#include "programmer/cli/connection_options.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>

#include "platform/com_port.h"

namespace cli {

namespace {

constexpr int kPortMax = 8;

bool isIndex(const std::string& text) {
    if (text.empty() || text.size() > 2)
        return false;
    for (const char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

bool isPath(const std::string& text) {
    return text.find('/') != std::string::npos;
}

}  // namespace

void addConnectionOptions(CLI::App& command, ConnectionOptions& options) {
    command.add_option("--interface", options.interface, "com (a serial port) or camlink")
        ->check(CLI::IsMember({"com", "camlink"}))
        ->capture_default_str();
    command
        .add_option("--port", options.port,
                    "port index 0-8 (0 is the first COM port, QEL_COM1) or a serial device path")
        ->check(CLI::Validator(
            [](std::string& value) -> std::string {
                if (isPath(value))
                    return {};
                if (isIndex(value) && std::stoi(value) <= kPortMax)
                    return {};
                return "expected a port index 0-8 or a device path";
            },
            "N|PATH"))
        ->capture_default_str();
    command.add_option("--grabber", options.grabber,
                       "frame grabber serial library for camlink (at most 19 characters)");
    command.add_flag("--emergency", options.emergency,
                     "emergency mode: go on without a camera answer, accept other variants");
    command.add_flag("--log", options.log, "append the transfers to prog_log.txt");
    command.add_flag("--json", options.json, "machine-readable output");
    command.add_option("--record", options.record,
                       "record every exchange with the camera to FILE (JSON Lines; gzip when\n"
                       "FILE ends in .gz); an existing FILE is not overwritten")
        ->type_name("FILE");
    CLI::Option* yes = command.add_flag("--yes", options.yes, "answer Yes to every question");
    command.add_flag("--no", options.no, "answer No to every question")->excludes(yes);
}

bool applyConnectionOptions(const ConnectionOptions& options, app::StartOptions& start,
                            std::string& error) {
    start.connectWithoutDialog = true;
    start.emergencyMode = options.emergency;
    start.packetMode = app::kPacketNormal;
    start.interfaceType =
        options.interface == "camlink" ? app::kInterfaceCameraLink : app::kInterfaceComPort;
    if (const std::string refusal = app::GrabberDllRefusal(options.grabber); !refusal.empty()) {
        error = "--grabber: " + refusal.substr(0, refusal.find('\n'));
        return false;
    }
    if (!options.grabber.empty())
        start.grabberDll = options.grabber;

    if (!isPath(options.port)) {
        start.portNumber = std::stoi(options.port);
        return true;
    }
    if (start.interfaceType != app::kInterfaceComPort) {
        error = "--port PATH needs --interface com";
        return false;
    }
    if (const int failure = platform::useDeviceForComPort(1, options.port)) {
        error = std::string("cannot set QEL_COM1: ") + std::strerror(failure);
        return false;
    }
    start.portNumber = 0;
    return true;
}

}  // namespace cli

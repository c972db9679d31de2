#include "programmer/cli/connection_options.h"

#include <stdlib.h>


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
        .add_option("--port", options.ports,
                    "port index 0-8 (0 is the first COM port, QEL_COM1) or a serial device path; "
                    "repeat it to run several cameras at once")
        ->check(CLI::Validator(
            [](std::string& value) -> std::string {
                if (isPath(value))
                    return {};
                if (isIndex(value) && std::stoi(value) <= kPortMax)
                    return {};
                return "expected a port index 0-8 or a device path";
            },
            "N|PATH"))
        ->each([&options](const std::string& value) { options.port = value; })
        ->default_str("0");
    command.add_option("--grabber", options.grabber,
                       "frame grabber serial library for camlink (at most 19 characters)");
    command.add_flag("--emergency", options.emergency,
                     "emergency mode: go on without a camera answer, accept other variants");
    command.add_flag("--log", options.log,
                     "append the transfers to prog_log.txt (with several --port, "
                     "prog_log-SERIAL.txt per camera)");
    command.add_flag("--json", options.json, "machine-readable output");
    command.add_option("--record", options.record,
                       "record every exchange with the camera to FILE (JSON Lines; gzip when\n"
                       "FILE ends in .gz); an existing FILE is not overwritten")
        ->type_name("FILE");
    command.add_option("--report", options.report,
                       "append one JSON line per camera and run to FILE (created if missing)");
    command.add_flag("--child", options.child)->group("");  // set by a run of several cameras
    CLI::Option* yes = command.add_flag("--yes", options.yes, "answer Yes to every question");
    command.add_flag("--no", options.no, "answer No to every question")->excludes(yes);
}

bool applyConnectionOptions(const ConnectionOptions& options, app::StartOptions& start,
                            std::string& device, std::string& error) {
    device.clear();
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
    device = options.port;
    start.portNumber = 0;
    return true;
}

std::vector<std::string> childConnectionArguments(const ConnectionOptions& options,
                                                  const std::string& port) {
    std::vector<std::string> arguments{"--port", port, "--json", "--child"};
    if (options.interface != "com")
        arguments.insert(arguments.end(), {"--interface", options.interface});
    if (!options.grabber.empty())
        arguments.insert(arguments.end(), {"--grabber", options.grabber});
    if (options.emergency)
        arguments.push_back("--emergency");
    if (options.log)
        arguments.push_back("--log");
    if (!options.report.empty())
        arguments.insert(arguments.end(), {"--report", options.report});
    if (options.yes)
        arguments.push_back("--yes");
    if (options.no)
        arguments.push_back("--no");
    return arguments;
}

std::string deviceIdentity(const ConnectionOptions& options, const std::string& port) {
    if (options.interface == "camlink")
        return (options.grabber.empty() ? std::string(app::kDefaultGrabberDll) : options.grabber) +
               " board " + port;
    const std::string path = isPath(port) ? port : platform::comPortPath(std::stoi(port) + 1);
    return platform::canonicalDevicePath(path);
}

std::string samePortRefusal(const ConnectionOptions& options) {
    for (size_t i = 0; i < options.ports.size(); ++i)
        for (size_t j = i + 1; j < options.ports.size(); ++j) {
            const std::string device = deviceIdentity(options, options.ports[i]);
            if (device == deviceIdentity(options, options.ports[j]))
                return "--port " + options.ports[i] + " and --port " + options.ports[j] +
                       " lead to the same device (" + device +
                       "): each camera needs a connection of its own.";
        }
    return {};
}

}  // namespace cli

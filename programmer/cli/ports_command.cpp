#include "programmer/cli/ports_command.h"

#include <iostream>
#include <memory>

#include "programmer/cli/ports_scan.h"

namespace cli {

namespace {

using nlohmann::json;

void printText(const json& info, std::ostream& out) {
    printSerialDevices(info, out);
    if (info["cameraLinkLibraries"].empty()) {
        out << "No Camera Link serial library (" << kSerialLibraryPattern << ") in:";
        for (const json& dir : info["libraryPlaces"])
            out << " " << dir.get<std::string>();
        out << " (" << kOtherLibraryFolder << ").\n";
    } else {
        out << "Camera Link serial libraries (--interface camlink --grabber NAME):\n";
        for (const json& library : info["cameraLinkLibraries"])
            out << "  " << library["path"].get<std::string>() << "  --grabber "
                << library["grabber"].get<std::string>() << "\n";
    }
}

}  // namespace

Subcommand addPortsCommand(CLI::App& app) {
    auto asJson = std::make_shared<bool>(false);
    CLI::App* command = app.add_subcommand(
        "ports",
        "list the serial devices, the --port that selects each, and the Camera Link "
        "serial libraries found");
    command->add_flag("--json", *asJson, "machine-readable output");
    return {command, [asJson] {
                const json info = scanPorts();
                if (*asJson)
                    std::cout << info.dump(2) << "\n";
                else
                    printText(info, std::cout);
                return kExitOk;
            }};
}

}  // namespace cli

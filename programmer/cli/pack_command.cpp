#include "programmer/cli/pack_command.h"

#include <array>
#include <iostream>
#include <memory>

#include "programmer/app/packet_file_names.h"
#include "programmer/cli/camera_session.h"
#include "programmer/cli/devices.h"
#include "programmer/cli/command_parts.h"
#include "programmer/cli/signing_options.h"

namespace cli {

namespace {

struct PackOptions {
    ConnectionOptions connection;  // only --json, --yes and --no are offered
    std::string file;
    std::array<std::string, app::kRowCount> deviceFiles;
    SignOptions sign;
};

int pack(const PackOptions& options, app::ProgDlg& dialog, RunReporter& reporter) {
    const bool json = options.connection.json;
    nlohmann::json::array_t devices;
    for (int row = 0; row < app::kRowCount; ++row) {
        const std::string& path = options.deviceFiles[size_t(row)];
        if (!path.empty())
            devices.push_back({{"device", deviceCaption(row)}, {"row", row}, {"file", path}});
    }
    dialog.Pack(options.file, options.deviceFiles);
    say(reporter, json, dialog.StatusShown());
    if (!json && !dialog.PacketFileWritten())
        say(reporter, json,
            app::OutputNameRefusal(dialog.PacketFileName()).empty()
                ? "No update file written; " + dialog.PacketFileName() + " was not changed."
                : "No update file written.");
    reporter.event({{"event", "summary"},
                    {"ok", dialog.PacketFileWritten()},
                    {"file", dialog.PacketFileName()},
                    {"written", dialog.PacketFileWritten()},
                    {"devices", devices}});
    return dialog.PacketFileWritten() ? kExitOk : kExitFailed;
}

}  // namespace

Subcommand addPackCommand(CLI::App& app) {
    auto options = std::make_shared<PackOptions>();
    CLI::App* command =
        app.add_subcommand("pack", "build an update file from device files (no camera needed)");
    command->add_option("file", options->file, "update file to write (.qup)")->required();
    const char* const kinds[app::kRowCount] = {"Intel HEX file (.hex)", "Xilinx bit file (.bit)",
                                               "raw EEPROM image (.bin)", "JEDEC file (.jed)",
                                               "Xilinx bit file (.bit)"};
    for (int row = 0; row < app::kRowCount; ++row)
        command->add_option(std::string("--") + kDeviceOptionNames[size_t(row)],
                            options->deviceFiles[size_t(row)],
                            deviceCaption(row) + ": " + kinds[row]);
    command->add_flag("--json", options->connection.json, "JSON lines on standard output");
    command->add_flag("--yes", options->connection.yes, "overwrite an existing file");
    command->add_flag("--no", options->connection.no, "keep an existing file")->excludes("--yes");
    addSignOptions(*command, options->sign);
    return {command, [options] {
                bool any = false;
                for (const std::string& path : options->deviceFiles)
                    any = any || !path.empty();
                if (!any) {
                    std::cerr << "kelvoflash-cli pack: give at least one device file "
                                 "(--main-up, --main-fpga, --eeprom, --pll, --head-fpga)\n";
                    return kExitUsage;
                }
                return writeThenSign(
                    options->sign, options->file, options->connection.yes,
                    options->connection.json, [&] {
                        RunReporter reporter(options->connection.json ? OutputStyle::kJson
                                                                      : OutputStyle::kLines,
                                             std::cout);
                        CameraSession session(options->connection);
                        session.packetMode = app::kPacketFile;
                        session.host.onMessage = [&](const std::string& text) {
                            reporter.message(text);
                        };
                        return session.run([&](app::ProgDlg& dialog) {
                            return pack(*options, dialog, reporter);
                        });
                    });
            }};
}

}  // namespace cli

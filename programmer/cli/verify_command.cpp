#include "programmer/cli/verify_command.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>

#include "programmer/app/verify_devices.h"
#include "programmer/cli/camera_session.h"
#include "programmer/cli/devices.h"
#include "programmer/cli/command_parts.h"
#include "programmer/cli/signing_options.h"
#include "programmer/cli/several_cameras.h"
#include "programmer/files/file_io.h"

namespace cli {

namespace {

struct VerifyOptions {
    ConnectionOptions connection;
    std::string file;
    std::string deviceList;  // empty: every device the file holds
    bool requireSigned = false;
};

class VerifyCommand {
public:
    VerifyCommand(const VerifyOptions& options, ConsoleHost& host, RunReporter& reporter)
        : options_(options), host_(host), reporter_(reporter) {}

    // Reads and checks the file before anything connects.
    bool loadFile();
    int run(app::ProgDlg& dialog);

private:
    int summarise(const app::ProgDlg& dialog, app::RunEnd end);

    const VerifyOptions& options_;
    ConsoleHost& host_;
    RunReporter& reporter_;
    std::vector<uint8_t> bytes_;
    files::UpdateFileReadResult file_;
    std::vector<int> chosen_;
    std::array<app::DeviceComparison, app::kRowCount> comparisons_{};
};

bool VerifyCommand::loadFile() {
    if (const int error = files::readWholeFile(options_.file, bytes_)) {
        std::cerr << "Cannot read " << options_.file << ": " << std::strerror(error) << "\n";
        return false;
    }
    const auto policy = loadPolicyFor(options_.requireSigned, std::cerr);
    if (!judgeUpdateFile(options_.file, bytes_, *policy, std::cerr))
        return false;
    file_ = files::readUpdateFile(bytes_.data(), bytes_.size());
    if (!file_.ok()) {
        char text[128];
        std::snprintf(text, sizeof text, file_.message().c_str(), files::kUpdateFileTag);
        std::cerr << withoutTrailingNewlines(text) << "\n";
        return false;
    }
    for (const int row : rowsOfList(options_.deviceList)) {
        if (file_.devices[size_t(row)].present) {
            chosen_.push_back(row);
        } else if (!options_.deviceList.empty()) {
            std::cerr << deviceCaption(row) << ": the update file holds no image for it.\n";
            return false;
        }
    }
    if (chosen_.empty()) {
        std::cerr << "Nothing to verify: the update file holds no device image.\n";
        return false;
    }
    return true;
}

int VerifyCommand::run(app::ProgDlg& dialog) {
    if (dialog.Model().ended) {
        reporter_.connectionFailed(dialog.NoCameraCause());
        return kExitFailed;
    }
    if (!dialog.CameraInfoResult()) {
        host_.note("The camera information could not be read: nothing can be verified.");
        return kExitFailed;
    }
    for (const int row : chosen_) {
        if (!dialog.DeviceAvailable(row) && !dialog.Options().emergencyMode) {
            host_.note(deviceCaption(row) +
                       ": the camera does not report this device (--emergency reads it anyway).");
            return kExitFailed;
        }
    }
    dialog.DisableAllControls();
    const app::RunEnd end =
        app::VerifyDevices(dialog, bytes_, file_, chosen_, comparisons_, {&reporter_, nullptr});
    return summarise(dialog, end);
}

int VerifyCommand::summarise(const app::ProgDlg& dialog, app::RunEnd end) {
    const bool json = options_.connection.json;
    bool allMatch = end == app::RunEnd::kCompleted;
    nlohmann::json::array_t devices;
    if (!json)
        say(reporter_, json, "Summary:");
    for (const int row : chosen_) {
        const app::DeviceComparison& comparison = comparisons_[size_t(row)];
        const app::DeviceOutcome& outcome = dialog.DeviceResults()[size_t(row)];
        nlohmann::json value{{"device", deviceCaption(row)}, {"row", row}};
        std::string text;
        if (comparison.compared && comparison.differing == 0) {
            value["result"] = "matches";
            text = "matches the file";
        } else if (comparison.compared) {
            allMatch = false;
            value["result"] = "differs";
            value["firstDifference"] = hexText(comparison.firstDifference);
            value["bytesDiffering"] = comparison.differing;
            text = "DIFFERS from the file: first differing address " +
                   hexText(comparison.firstDifference) + ", " +
                   std::to_string(comparison.differing) + " bytes differ";
        } else {
            allMatch = false;
            const bool failed = outcome.result == app::DeviceResult::kFailed;
            value["result"] = failed ? "failed" : "not read";
            value["error"] = hexText(outcome.error);
            text = failed ? "FAILED (error " + hexText(outcome.error) + ")" : "NOT READ";
        }
        devices.push_back(value);
        if (!json)
            say(reporter_, json, "  " + deviceCaption(row) + ": " + text);
    }
    reporter_.event({{"event", "summary"}, {"ok", allMatch}, {"devices", devices}});
    return allMatch ? kExitOk : kExitFailed;
}

}  // namespace

Subcommand addVerifyCommand(CLI::App& app) {
    auto options = std::make_shared<VerifyOptions>();
    CLI::App* command = app.add_subcommand(
        "verify", "read the devices back and compare them with an update file (writes nothing)");
    command->add_option("file", options->file, "update file (.qup)")->required();
    addConnectionOptions(*command, options->connection);
    addDevicesOption(*command, options->deviceList,
                     "devices to compare instead of all the file holds, comma separated: "
                     "main-up,main-fpga,eeprom,pll,head-fpga");
    addRequireSignedFlag(*command, options->requireSigned);
    return {command, [options] {
                if (options->connection.ports.size() > 1)
                    return runSeveralCameras(
                        "verify", options->file, options->connection,
                        [options](size_t, const std::string&) {
                            std::vector<std::string> arguments{"verify", options->file};
                            if (!options->deviceList.empty())
                                arguments.insert(arguments.end(),
                                                 {"--devices", options->deviceList});
                            if (options->requireSigned)
                                arguments.push_back("--require-signed");
                            return arguments;
                        });
                RunReporter reporter = consoleReporter(options->connection.json);
                CameraSession session(options->connection, "verify", options->file);
                reportSession(session, reporter);
                VerifyCommand verify(*options, session.host, reporter);
                if (!verify.loadFile())
                    return kExitFailed;
                return session.run([&](app::ProgDlg& dialog) { return verify.run(dialog); });
            }};
}

}  // namespace cli

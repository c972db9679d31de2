#include "programmer/cli/program_command.h"

#include <unistd.h>

#include <iostream>
#include <memory>
#include <set>
#include <vector>

#include <nlohmann/json.hpp>

#include "programmer/cli/camera_session.h"
#include "programmer/cli/devices.h"
#include "programmer/cli/program_plan.h"
#include "programmer/cli/run_reporter.h"
#include "programmer/files/update_file_format.h"
#include "protocol/commands.h"

namespace cli {

namespace {

using nlohmann::json;

struct ProgramOptions {
    ConnectionOptions connection;
    std::string file;
    std::string deviceList;  // empty: the devices the load checked
    bool dryRun = false;
};

// One programming command on a connected main dialog.
class ProgramCommand {
public:
    ProgramCommand(const ProgramOptions& options, ConsoleHost& host, RunReporter& reporter)
        : options_(options), host_(host), reporter_(reporter) {}

    int run(app::ProgDlg& dialog);

private:
    bool chooseDevices(app::ProgDlg& dialog);
    int summarise(const app::ProgDlg& dialog);
    void say(const std::string& text) {
        reporter_.endLine();
        if (options_.connection.json) {
            reporter_.event({{"event", "info"}, {"text", text}});
        } else {
            std::cout << text << "\n" << std::flush;
        }
    }

    const ProgramOptions& options_;
    ConsoleHost& host_;
    RunReporter& reporter_;
    std::vector<int> chosen_;
};

int ProgramCommand::run(app::ProgDlg& dialog) {
    // The dialog ended when no camera answered; its message is out already.
    if (dialog.model.ended)
        return kExitFailed;
    if (!dialog.model.isEnabled(app::kIdLoadFile)) {
        host_.note("The camera information could not be read: no update file can be loaded.");
        return kExitFailed;
    }
    host_.fileToOpen = options_.file;
    dialog.OnLoadFile();
    // Refused files (unreadable, corrupt, other variants, downgrades) leave no accepted name.
    if (dialog.loaded.loadedFileName.empty())
        return kExitFailed;
    if (!chooseDevices(dialog))
        return kExitFailed;
    if (chosen_.empty()) {
        say("Nothing to program: no device is chosen.");
        return kExitOk;
    }

    std::string names;
    for (const int row : chosen_) {
        const DevicePlan plan = planDevice(dialog, row);
        if (options_.connection.json) {
            json value = planJson(plan);
            value["dryRun"] = options_.dryRun;
            reporter_.event(value);
        } else {
            say((options_.dryRun ? "Would program " : "To program ") + planText(plan));
        }
        // The question goes to the host in the flows' 8-bit text.
        names += (names.empty() ? "" : ", ") + std::string(files::kDeviceCaptions[size_t(row)]);
    }
    if (options_.dryRun) {
        say("Dry run: nothing was written.");
        return kExitOk;
    }
    if (!host_.askYesNo("Program " + names +
                            "? Do not unplug or switch off the camera until the run has ended.",
                        "")) {
        host_.note("Programming cancelled.");
        return kExitFailed;
    }

    dialog.runObserver = &reporter_;
    dialog.OnProgram();
    dialog.runObserver = nullptr;
    return summarise(dialog);
}

// Applies --devices to the check boxes, then takes the devices the run will program: checked,
// and reported by the camera unless in emergency mode (the run passes over the others).
bool ProgramCommand::chooseDevices(app::ProgDlg& dialog) {
    const bool emergency = dialog.options.emergencyMode;
    std::set<int> named;
    for (const int row : deviceRowsOf(options_.deviceList).value_or(std::vector<int>{}))
        named.insert(row);
    if (!options_.deviceList.empty()) {
        for (const int row : named) {
            if (!dialog.model.isEnabled(app::checkBoxId(row))) {
                host_.note(deviceCaption(row) + ": the update file offers no image for it.");
                return false;
            }
            if (!emergency && !dialog.deviceAvailable[size_t(row)]) {
                host_.note(deviceCaption(row) +
                           ": the camera does not report this device (--emergency programs it "
                           "anyway).");
                return false;
            }
        }
        for (int row = 0; row < app::kRowCount; ++row)
            dialog.CheckDevice(row, named.count(row) != 0);
    }
    for (int row = 0; row < app::kRowCount; ++row) {
        if (!dialog.IsDeviceChecked(row))
            continue;
        if (emergency || dialog.deviceAvailable[size_t(row)]) {
            chosen_.push_back(row);
        } else {
            host_.note(deviceCaption(row) +
                       ": left out, the camera does not report this device (--emergency programs "
                       "it anyway).");
        }
    }
    return true;
}

// One line per chosen device. A device counts as updated when the run programmed it and the
// camera, read again after its reboots, reports the file's variant and version for it.
int ProgramCommand::summarise(const app::ProgDlg& dialog) {
    bool allUpdated = reporter_.finished() && reporter_.result();
    json devices = json::array();
    if (!options_.connection.json)
        say("Summary:");
    for (const int row : chosen_) {
        const size_t i = size_t(row);
        const app::DeviceOutcome& outcome = dialog.lastRun[i];
        const std::string reported =
            dialog.cameraVersion[i] < 0
                ? std::string(protocol::kNoVersionText)
                : protocol::formatVersion(dialog.cameraVariant[i], dialog.cameraVersion[i] / 256,
                                          dialog.cameraVersion[i] % 256);
        const std::string expected = dialog.model.caption(app::loadedFwId(row));
        std::string result;
        std::string text;
        if (outcome.result == app::DeviceResult::kProgrammed) {
            const bool verified = dialog.cameraVariant[i] == dialog.loaded.fileVariant[i] &&
                                  dialog.cameraVersion[i] == dialog.loaded.fileVersion[i];
            result = verified ? "updated" : "unverified";
            text = verified ? "programmed and verified, the camera reports " + reported
                            : "programmed, but the camera reports " + reported + " instead of " +
                                  expected;
            allUpdated = allUpdated && verified;
        } else {
            allUpdated = false;
            result = outcome.result == app::DeviceResult::kFailed ? "failed" : "not programmed";
            text = outcome.result == app::DeviceResult::kFailed ? "FAILED" : "NOT PROGRAMMED";
            if (outcome.error != 0)
                text += " (error " + errorCodeText(outcome.error) + ")";
            text += ", the camera reports " + reported;
        }
        devices.push_back({{"device", deviceCaption(row)},
                           {"row", row},
                           {"result", result},
                           {"error", errorCodeText(outcome.error)},
                           {"cameraReports", reported},
                           {"file", expected}});
        if (!options_.connection.json)
            say("  " + deviceCaption(row) + ": " + text);
    }
    reporter_.event({{"event", "summary"}, {"ok", allUpdated}, {"devices", devices}});
    return allUpdated ? kExitOk : kExitFailed;
}

}  // namespace

Subcommand addProgramCommand(CLI::App& app) {
    auto options = std::make_shared<ProgramOptions>();
    CLI::App* command =
        app.add_subcommand("program", "write the devices of an update file into the camera");
    command->add_option("file", options->file, "update file (.qup)")->required();
    addConnectionOptions(*command, options->connection);
    command
        ->add_option("--devices", options->deviceList,
                     "devices to program instead of those the load chose, comma separated: "
                     "main-up,main-fpga,eeprom,pll,head-fpga")
        ->check(CLI::Validator(
            [](std::string& value) -> std::string {
                const std::optional<std::vector<int>> rows = deviceRowsOf(value);
                return rows ? "" : "expected names from main-up,main-fpga,eeprom,pll,head-fpga";
            },
            "LIST"));
    command->add_flag("--dry-run", options->dryRun,
                      "load and compare, show what would be written, write nothing");
    return {command, [options] {
                const OutputStyle style = options->connection.json ? OutputStyle::kJson
                                          : isatty(STDOUT_FILENO)  ? OutputStyle::kBars
                                                                   : OutputStyle::kLines;
                RunReporter reporter(style, std::cout);
                CameraSession session(options->connection);
                session.host.beforeOutput = [&] { reporter.endLine(); };
                session.host.onMessage = [&](const std::string& text) { reporter.message(text); };
                session.host.onModelChanged = [&](const app::DialogModel& model) {
                    reporter.modelChanged(model);
                };
                ProgramCommand program(*options, session.host, reporter);
                return session.run([&](app::ProgDlg& dialog) { return program.run(dialog); });
            }};
}

}  // namespace cli

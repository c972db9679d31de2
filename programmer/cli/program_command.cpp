#include "programmer/cli/program_command.h"

#include <iostream>
#include <memory>
#include <vector>

#include <nlohmann/json.hpp>

#include "programmer/cli/camera_session.h"
#include "programmer/cli/devices.h"
#include "programmer/cli/interruption.h"
#include "programmer/cli/command_parts.h"
#include "programmer/cli/program_plan.h"
#include "programmer/cli/run_reporter.h"
#include "programmer/cli/signing_options.h"
#include "programmer/cli/several_cameras.h"
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
    bool requireSigned = false;
};

// One programming command on a connected main dialog.
class ProgramCommand {
public:
    ProgramCommand(const ProgramOptions& options, ConsoleHost& host, RunReporter& reporter,
                   RunRecord& record)
        : options_(options), host_(host), reporter_(reporter), record_(record) {}

    int run(app::ProgDlg& dialog);

private:
    bool chooseDevices(app::ProgDlg& dialog);
    // What the next signals say while `row` is being written (or, `finished`, the camera
    // reboots after it; row -1: before the first device).
    void prepareInterruption(int row, bool finished);
    // The chosen rows after `row`.
    std::vector<int> rowsAfter(int row) const;
    int summarise(const app::ProgDlg& dialog);
    // The command that programs `rows` of the same file on the same camera.
    std::string commandFor(const std::vector<int>& rows, bool emergency) const;
    void say(const std::string& text) { cli::say(reporter_, options_.connection.json, text); }

    const ProgramOptions& options_;
    ConsoleHost& host_;
    RunReporter& reporter_;
    RunRecord& record_;
    std::vector<int> chosen_;
};

int ProgramCommand::run(app::ProgDlg& dialog) {
    // The dialog ended when no camera answered; its message is out already.
    if (dialog.Model().ended) {
        reporter_.connectionFailed(dialog.NoCameraCause());
        return kExitFailed;
    }
    if (!dialog.CanLoadFile()) {
        host_.note("The camera information could not be read: no update file can be loaded.");
        return kExitFailed;
    }
    // Refused files (unreadable, corrupt, other variants, downgrades) are not accepted.
    if (!dialog.LoadFile(options_.file)) {
        const app::UpdateDecision& decision = dialog.LoadDecision();
        for (int row = 0; row < app::kRowCount; ++row)
            if (const std::string text = refusalText(row, decision.devices[size_t(row)]);
                !text.empty()) {
                host_.note(text);
                record_.refused(deviceCaption(row));
            }
        return kExitFailed;
    }
    if (!chooseDevices(dialog))
        return kExitFailed;
    if (chosen_.empty()) {
        say("Nothing to program: no device is chosen.");
        return kExitOk;
    }

    std::string names;
    std::vector<std::pair<int, int>> estimate;
    int total = 0;
    const uint32_t baud = lineRate(dialog);
    for (const int row : chosen_) {
        const DevicePlan plan = planDevice(dialog, row);
        estimate.emplace_back(row, writeSeconds(plan, baud));
        total += estimate.back().second + kRebootSeconds;
        if (options_.connection.json) {
            json value = planJson(plan);
            value["dryRun"] = options_.dryRun;
            reporter_.event(value);
        } else {
            say((options_.dryRun ? "Would program " : "To program ") + planText(plan));
        }
        names += (names.empty() ? "" : ", ") + std::string(files::kDeviceCaptions[size_t(row)]);
    }
    const std::string duration = "Estimated duration: about " + durationText(total) + " (" +
                                 std::to_string(chosen_.size()) + " device(s) written at " +
                                 std::to_string(baud) + " baud, and the camera's reboot of " +
                                 "about " + std::to_string(kRebootSeconds) + " s after each).";
    if (options_.connection.json)
        reporter_.event({{"event", "estimate"}, {"seconds", total}, {"baud", baud}});
    else
        say(duration);
    reporter_.setEstimate(estimate, kRebootSeconds, host_.clock());
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

    const bool interrupted = interruption::runInterruptible(
        reporter_, [this](int row, bool finished) { prepareInterruption(row, finished); },
        [&](const app::RunHooks& hooks) { dialog.Program(hooks); });
    const int status = summarise(dialog);
    if (!interrupted)
        return status;
    std::vector<int> left;
    for (const int row : chosen_)
        if (dialog.DeviceResults()[size_t(row)].result == app::DeviceResult::kNotRun)
            left.push_back(row);
    json leftNames = json::array();
    for (const int row : left)
        leftNames.push_back(deviceCaption(row));
    return interruption::reportInterrupted(
        reporter_, host_,
        {{"notProgrammed", leftNames},
         {"command", left.empty() ? json() : json(commandFor(left, false))}},
        left.empty() ? ": the run had reached its end; every device was finished."
                     : ": stopped at a safe point, every device written was finished and the "
                       "camera rebooted.");
}

std::vector<int> ProgramCommand::rowsAfter(int row) const {
    std::vector<int> rows;
    for (const int chosen : chosen_)
        if (chosen > row)
            rows.push_back(chosen);
    return rows;
}

void ProgramCommand::prepareInterruption(int row, bool finished) {
    const std::vector<int> rest = rowsAfter(row);
    std::string first, second;
    json immediate = {{"event", "interrupted"}, {"immediate", true}};
    if (!finished) {
        const std::string name = deviceCaption(row);
        std::vector<int> repair{row};
        repair.insert(repair.end(), rest.begin(), rest.end());
        const std::string command = commandFor(repair, options_.connection.emergency);
        first = name + " is being written; stopping now would leave it incomplete. The run stops "
                       "once " +
                name + " is finished and the camera has rebooted.";
        second = name + " is INCOMPLETE and must be programmed again: " + command;
        immediate["incomplete"] = name;
        immediate["command"] = command;
    } else {
        const std::string command = rest.empty() ? "" : commandFor(rest, false);
        first = row < 0 ? "nothing is written yet; the run stops before the first device."
                        : deviceCaption(row) +
                              " is finished; the run stops once the camera has rebooted.";
        second = "no device is incomplete." +
                 (command.empty() ? std::string() : " To program the rest: " + command);
        immediate["incomplete"] = nullptr;
        immediate["command"] = command.empty() ? json() : json(command);
    }
    interruption::setRunTexts(first, second, immediate, options_.connection.json);
}

// Applies --devices to the check boxes, then takes every checked device. The run decides each
// one when it reaches it: a device the camera does not report now may be reported after the
// reboots of the devices before it (a camera in boot mode shows only its Main uP).
bool ProgramCommand::chooseDevices(app::ProgDlg& dialog) {
    if (!options_.deviceList.empty()) {
        const std::vector<int> named = rowsOfList(options_.deviceList);
        for (const int row : named) {
            if (!dialog.IsDeviceOffered(row)) {
                host_.note(deviceCaption(row) + ": the update file offers no image for it.");
                return false;
            }
        }
        dialog.ChooseDevices(named);
    }
    for (int row = 0; row < app::kRowCount; ++row) {
        if (!dialog.IsDeviceChecked(row))
            continue;
        chosen_.push_back(row);
        if (!dialog.Options().emergencyMode && !dialog.DeviceAvailable(row))
            host_.note(deviceCaption(row) +
                       ": the camera does not report this device now; it is programmed only if "
                       "the camera reports it when its turn comes (--emergency programs it "
                       "anyway).");
    }
    return true;
}

std::string ProgramCommand::commandFor(const std::vector<int>& rows, bool emergency) const {
    const ConnectionOptions& connection = options_.connection;
    std::string command = "kelvoflash-cli program " + options_.file;
    if (connection.interface != "com")
        command += " --interface " + connection.interface;
    command += " --port " + connection.port;
    if (!connection.grabber.empty())
        command += " --grabber " + connection.grabber;
    if (emergency)
        command += " --emergency";
    std::string list;
    for (const int row : rows)
        list += (list.empty() ? "" : ",") + std::string(kDeviceOptionNames[size_t(row)]);
    return command + " --devices " + list;
}

// One line per chosen device, from what the camera reported after the run. A device counts as
// updated when the run programmed it and the camera, read again after its reboots, reports the
// file's variant and version for it.
int ProgramCommand::summarise(const app::ProgDlg& dialog) {
    bool allUpdated = reporter_.finished() && reporter_.result();
    const bool readAfterRun = dialog.VersionsReadAfterRun();
    std::vector<int> unreported;
    std::vector<int> incomplete;
    std::vector<int> notReached;  // left when the run was stopped at a safe point
    json devices = json::array();
    if (!options_.connection.json)
        say("Summary:");
    for (const int row : chosen_) {
        const size_t i = size_t(row);
        const app::DeviceOutcome& outcome = dialog.DeviceResults()[i];
        const int variant = dialog.CameraVariant(row), version = dialog.CameraVersion(row);
        const std::string reported =
            !readAfterRun ? std::string()
            : version < 0 ? std::string(protocol::kNoVersionText)
                          : protocol::formatVersion(variant, version / 256, version % 256);
        const std::string reports = readAfterRun
                                        ? "the camera reports " + reported
                                        : "the camera's versions could not be read after the run";
        const std::string expected = fileVersionText(dialog, row);
        std::string result;
        std::string text;
        if (outcome.result == app::DeviceResult::kProgrammed) {
            const app::DeviceDecision& file = dialog.LoadDecision().devices[i];
            const bool confirmed =
                readAfterRun && variant == file.fileVariant && version == file.fileVersion;
            const std::string how =
                outcome.verified ? "programmed and verified" : "written, not read back";
            result = confirmed ? "updated" : readAfterRun ? "unverified" : "unconfirmed";
            if (confirmed || !readAfterRun)
                text = how + ", " + reports;
            else
                text = how + ", but the camera reports " + reported + " instead of " + expected;
            allUpdated = allUpdated && confirmed;
        } else {
            allUpdated = false;
            const bool failed = outcome.result == app::DeviceResult::kFailed;
            result = failed ? "failed" : "not programmed";
            text = failed ? "FAILED" : "NOT PROGRAMMED";
            if (outcome.error != 0)
                text += " (error " + hexText(outcome.error) + ")";
            if (dialog.RunStopped() && outcome.result == app::DeviceResult::kNotRun &&
                outcome.error == 0) {
                text += ", the run was stopped before it";
                notReached.push_back(row);
            } else if (outcome.error == app::kErrDeviceNotReported) {
                text += ", the camera did not report it when its turn came";
                unreported.push_back(row);
            } else if (outcome.incomplete) {
                text += ", INCOMPLETE: it must be programmed again";
                incomplete.push_back(row);
            }
            text += ", " + reports;
        }
        devices.push_back({{"device", deviceCaption(row)},
                           {"row", row},
                           {"result", result},
                           {"error", hexText(outcome.error)},
                           {"verified", outcome.verified},
                           {"incomplete", outcome.incomplete},
                           {"cameraReports", readAfterRun ? json(reported) : json()},
                           {"file", expected}});
        if (!options_.connection.json)
            say("  " + deviceCaption(row) + ": " + text);
    }
    json commands = json::array();
    if (!unreported.empty()) {
        const std::string command = commandFor(unreported, true);
        commands.push_back(command);
        say("To program what the camera did not report anyway: " + command);
    }
    if (!incomplete.empty()) {
        const bool emergency = options_.connection.emergency;
        const std::string command = commandFor(incomplete, emergency);
        commands.push_back(command);
        say("To program the incomplete devices again: " + command +
            (emergency ? "" : " (with --emergency if the camera does not report them)"));
    }
    if (!notReached.empty()) {
        const std::string command = commandFor(notReached, options_.connection.emergency);
        commands.push_back(command);
        say("To program the devices the stopped run did not reach: " + command);
    }
    reporter_.event(
        {{"event", "summary"}, {"ok", allUpdated}, {"devices", devices}, {"commands", commands}});
    return allUpdated ? kExitOk : kExitFailed;
}

}  // namespace

Subcommand addProgramCommand(CLI::App& app) {
    auto options = std::make_shared<ProgramOptions>();
    CLI::App* command =
        app.add_subcommand("program", "write the devices of an update file into the camera");
    command->add_option("file", options->file, "update file (.qup)")->required();
    addConnectionOptions(*command, options->connection);
    addDevicesOption(*command, options->deviceList,
                     "devices to program instead of those the load chose, comma separated: "
                     "main-up,main-fpga,eeprom,pll,head-fpga");
    command->add_flag("--dry-run", options->dryRun,
                      "load and compare, show what would be written, write nothing");
    addRequireSignedFlag(*command, options->requireSigned);
    return {command, [options] {
                if (options->connection.ports.size() > 1)
                    return runSeveralCameras(
                        "program", options->file, options->connection,
                        [options](size_t, const std::string&) {
                            std::vector<std::string> arguments{"program", options->file};
                            if (!options->deviceList.empty())
                                arguments.insert(arguments.end(),
                                                 {"--devices", options->deviceList});
                            if (options->dryRun)
                                arguments.push_back("--dry-run");
                            if (options->requireSigned)
                                arguments.push_back("--require-signed");
                            return arguments;
                        });
                // A file whose signature does not hold is refused before any camera is touched
                // (with several cameras, each camera's command judges it so); the load judges it
                // once more by the same policy.
                const auto policy = loadPolicyFor(options->requireSigned, std::cerr);
                if (!judgeUpdateFile(options->file, *policy, std::cerr))
                    return kExitFailed;
                RunReporter reporter = consoleReporter(options->connection.json);
                CameraSession session(options->connection, "program", options->file);
                reportSession(session, reporter);
                ProgramCommand program(*options, session.host, reporter, session.record);
                return session.run([&](app::ProgDlg& dialog) {
                    dialog.UseSigningPolicy(policy.get());
                    return program.run(dialog);
                });
            }};
}

}  // namespace cli

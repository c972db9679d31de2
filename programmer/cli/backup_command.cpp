#include "programmer/cli/backup_command.h"

#include <algorithm>
#include <iostream>
#include <memory>

#include "programmer/app/packet_file_names.h"
#include "programmer/cli/camera_session.h"
#include "programmer/cli/devices.h"
#include "programmer/cli/interruption.h"
#include "programmer/cli/command_parts.h"
#include "programmer/cli/signing_options.h"
#include "programmer/cli/several_cameras.h"

namespace cli {

namespace {

using nlohmann::json;

struct BackupOptions {
    ConnectionOptions connection;
    std::vector<std::string> files;  // one, or one per camera
    std::string file;                // this camera's
    std::string deviceList;          // empty: every device the camera reports
    bool nameBySerial = false;       // one of several cameras: "-<serial>" goes before the end
    SignOptions sign;
};

// "backup.qup" as camera 4321's "backup-4321.qup".
std::string nameWithSerial(const std::string& file, uint32_t serial) {
    const size_t slash = file.find_last_of("/\\");
    const size_t dot = file.rfind('.');
    const size_t at = dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
                              dot == (slash == std::string::npos ? 0 : slash + 1)
                          ? file.size()
                          : dot;
    return file.substr(0, at) + "-" + std::to_string(serial) + file.substr(at);
}

class BackupCommand {
public:
    BackupCommand(const BackupOptions& options, ConsoleHost& host, RunReporter& reporter,
                  RunRecord& record)
        : options_(options),
          host_(host),
          reporter_(reporter),
          record_(record),
          file_(options.file) {}

    int run(app::ProgDlg& dialog);

private:
    int summarise(const app::ProgDlg& dialog);
    // What the next signals say while `row` is read (`finished`: the camera reboots after it;
    // row -1: before the first device).
    void prepareInterruption(int row, bool finished);

    const BackupOptions& options_;
    ConsoleHost& host_;
    RunReporter& reporter_;
    RunRecord& record_;
    std::string file_;
    std::vector<int> chosen_;
};

int BackupCommand::run(app::ProgDlg& dialog) {
    if (dialog.Model().ended) {
        reporter_.connectionFailed(dialog.NoCameraCause());
        return kExitFailed;
    }
    if (!dialog.CameraInfoResult()) {
        host_.note("The camera information could not be read: no backup can be taken.");
        return kExitFailed;
    }
    if (options_.nameBySerial) {
        if (dialog.link()->bootMode != 0) {
            host_.note("The camera is in boot mode and reports no serial number: name its backup "
                       "file (one file name per --port).");
            return kExitFailed;
        }
        file_ = nameWithSerial(options_.file, dialog.link()->serialNumber);
        record_.setFile(file_);
    }
    for (const int row : rowsOfList(options_.deviceList)) {
        if (dialog.DeviceAvailable(row)) {
            chosen_.push_back(row);
        } else if (!options_.deviceList.empty()) {
            host_.note(deviceCaption(row) + ": the camera does not report this device.");
            return kExitFailed;
        }
    }
    if (chosen_.empty()) {
        host_.note("Nothing to back up: the camera reports none of the devices.");
        return kExitFailed;
    }
    dialog.ChooseDevices(chosen_);
    const bool interrupted = interruption::runInterruptible(
        reporter_, [this](int row, bool finished) { prepareInterruption(row, finished); },
        [&](const app::RunHooks& hooks) { dialog.Backup(file_, hooks); });
    const int status = summarise(dialog);
    if (!interrupted)
        return status;
    return interruption::reportInterrupted(
        reporter_, host_, json::object(),
        ": stopped at a safe point, the last device read was finished and the camera rebooted.");
}

// Reading changes no flash: what a stop costs is the backup file, written only when complete.
void BackupCommand::prepareInterruption(int row, bool finished) {
    const std::string noFile = "no backup is written and " + file_ + " stays as it was.";
    std::string first;
    if (finished)
        first = row < 0 ? "nothing is read yet; the backup stops before the first device, " + noFile
                        : "the backup stops once the camera has rebooted; " + noFile;
    else
        first = deviceCaption(row) +
                " is being read; the backup stops once it is read and the camera has rebooted; " +
                noFile;
    const std::string second =
        noFile + (finished ? std::string()
                           : " " + deviceCaption(row) +
                                 " was left open: switch the camera off and on before the next "
                                 "run.");
    interruption::setRunTexts(first, second,
                              {{"event", "interrupted"}, {"immediate", true}, {"written", false}},
                              options_.connection.json);
}

int BackupCommand::summarise(const app::ProgDlg& dialog) {
    const bool json = options_.connection.json;
    const std::string status = dialog.StatusShown();
    say(reporter_, json, status);
    bool complete = dialog.PacketFileWritten();
    json::array_t devices;
    if (!json)
        say(reporter_, json, "Summary:");
    for (const int row : chosen_) {
        const app::DeviceOutcome& outcome = dialog.DeviceResults()[size_t(row)];
        std::string result = "not read";
        std::string text = "NOT READ";
        if (outcome.result == app::DeviceResult::kRead) {
            result = "read";
            text = "read completely";
        } else {
            complete = false;
            if (outcome.result == app::DeviceResult::kFailed) {
                result = "failed";
                text = "FAILED (error " + hexText(outcome.error) + ")";
            }
        }
        devices.push_back({{"device", deviceCaption(row)},
                           {"row", row},
                           {"result", result},
                           {"error", hexText(outcome.error)}});
        if (!json)
            say(reporter_, json, "  " + deviceCaption(row) + ": " + text);
    }
    const std::string name = dialog.PacketFileName();
    if (!json)
        say(reporter_, json,
            dialog.PacketFileWritten()                   ? "Backup written to " + name + "."
            : app::OutputNameRefusal(name).empty() ? "No backup written; " + name + " was not changed."
                                                   : "No backup written.");
    reporter_.event({{"event", "summary"},
                     {"ok", complete},
                     {"file", name},
                     {"written", dialog.PacketFileWritten()},
                     {"devices", devices}});
    return complete ? kExitOk : kExitFailed;
}

}  // namespace

Subcommand addBackupCommand(CLI::App& app) {
    auto options = std::make_shared<BackupOptions>();
    CLI::App* command =
        app.add_subcommand("backup", "read the camera's devices into a backup update file");
    command
        ->add_option("file", options->files,
                     "backup update file to write (.qup); with several --port one name per "
                     "camera, or one name each camera's serial number is added to")
        ->required();
    addConnectionOptions(*command, options->connection);
    addDevicesOption(*command, options->deviceList,
                     "devices to read instead of all the camera reports, comma separated: "
                     "main-up,main-fpga,eeprom,pll,head-fpga");
    addSignOptions(*command, options->sign);
    command->add_flag("--name-by-serial", options->nameBySerial)->group("");
    return {command, [options] {
                const std::vector<std::string>& files = options->files;
                const size_t cameras = std::max<size_t>(1, options->connection.ports.size());
                if (files.size() > 1 && files.size() != cameras) {
                    std::cerr << "kelvoflash-cli: backup: " << files.size()
                              << " file names for " << cameras
                              << " camera(s): give one name, or one per --port\n";
                    return kExitUsage;
                }
                for (size_t i = 0; i < files.size(); ++i)
                    for (size_t j = i + 1; j < files.size(); ++j)
                        if (files[i] == files[j]) {
                            std::cerr << "kelvoflash-cli: backup: " << files[i]
                                      << " is named twice: each camera needs a file of its "
                                         "own\n";
                            return kExitUsage;
                        }
                const bool signing = !options->sign.keyFile.empty();
                if (cameras > 1 && signing) {
                    // One passphrase cannot be read by several children.
                    std::cerr << "kelvoflash-cli: backup: --sign signs the backup of one camera: "
                                 "give one --port with it, or sign each file afterwards\n";
                    return kExitUsage;
                }
                if (cameras > 1)
                    return runSeveralCameras(
                        "backup", "", options->connection,
                        [options](size_t i, const std::string&) {
                            const bool one = options->files.size() == 1;
                            std::vector<std::string> arguments{
                                "backup", options->files[one ? 0 : i]};
                            if (one)
                                arguments.push_back("--name-by-serial");
                            if (!options->deviceList.empty())
                                arguments.insert(arguments.end(),
                                                 {"--devices", options->deviceList});
                            return arguments;
                        });
                options->file = files.front();
                return writeThenSign(
                    options->sign, options->file, options->connection.yes,
                    options->connection.json, [&] {
                        RunReporter reporter = consoleReporter(options->connection.json);
                        CameraSession session(options->connection, "backup", options->file);
                        session.packetMode = app::kPacketDevice;
                        reportSession(session, reporter);
                        BackupCommand backup(*options, session.host, reporter, session.record);
                        return session.run(
                            [&](app::ProgDlg& dialog) { return backup.run(dialog); });
                    });
            }};
}

}  // namespace cli

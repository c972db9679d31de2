#pragma once
// The record of one camera's run for --report: one JSON line with when and where it ran, which
// camera it was, the update file, each device's version before and after and its result, the
// duration and the exit status. Appended in one write, so records of cameras that end at the same
// time never mix.

#include <chrono>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "programmer/app/prog_dlg.h"
#include "programmer/cli/connection_options.h"

namespace cli {

class RunRecord {
public:
    // `command`: the subcommand's name; `file`: the update file read or written (may be empty).
    RunRecord(std::string command, const ConnectionOptions& options, std::string file);

    // What the camera reported on connecting (serial number, type, the devices' versions).
    void cameraConnected(const app::ProgDlg& dialog);
    // The update file, when the run chose its name (a backup named by serial number).
    void setFile(std::string file) { file_ = std::move(file); }
    // The load refused the update file for the device (other variant, older version): its
    // result is "refused" unless a summary says otherwise.
    void refused(const std::string& device) { refused_.push_back(device); }
    // The same from the "camera" event of a child that ran the camera.
    void cameraReported(const nlohmann::json& camera);
    // An event of the run; the summary's devices give the results and the versions after.
    void event(const nlohmann::json& value);
    // The record of the ended run (the file's SHA-256 taken now, so a backup's is the one written).
    nlohmann::json finish(int exitStatus) const;
    // Appends finish(exitStatus) to --report's file when one is given. Empty, or why not.
    std::string append(int exitStatus) const;

private:
    std::string command_;
    const ConnectionOptions& options_;
    std::string file_;
    std::chrono::system_clock::time_point start_;
    std::chrono::steady_clock::time_point startSteady_;
    nlohmann::json camera_ = {{"serial", nullptr}, {"type", nullptr}};
    nlohmann::json before_ = nlohmann::json::object();
    nlohmann::json summary_;
    std::vector<std::string> refused_;
};

// "2026-12-09T22:40:01Z".
std::string utcTimeText(std::chrono::system_clock::time_point time);

}  // namespace cli

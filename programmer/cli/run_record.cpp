#include "programmer/cli/run_record.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/host_name.h"
#include "programmer/cli/devices.h"
#include "programmer/cli/program_plan.h"
#include "programmer/files/append_record.h"
#include "programmer/files/sha256.h"

namespace cli {

using nlohmann::json;

std::string utcTimeText(std::chrono::system_clock::time_point time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    const std::tm* parts = std::gmtime(&seconds);
    char text[32] = "";
    if (parts != nullptr)
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", parts);
    return text;
}

RunRecord::RunRecord(std::string command, const ConnectionOptions& options, std::string file)
    : command_(std::move(command)),
      options_(options),
      file_(std::move(file)),
      start_(std::chrono::system_clock::now()),
      startSteady_(std::chrono::steady_clock::now()) {}

void RunRecord::cameraConnected(const app::ProgDlg& dialog) {
    if (dialog.Model().ended || !dialog.cameraConnected())
        return;
    if (dialog.link()->bootMode == 0)
        camera_["serial"] = dialog.link()->serialNumber;
    if (dialog.CameraTypeRead()) {
        char type[8];
        std::snprintf(type, sizeof type, "0x%04X", unsigned(*dialog.CameraTypeRead()));
        camera_["type"] = type;
    }
    for (int row = 0; row < app::kRowCount; ++row)
        before_[deviceCaption(row)] = versionText(dialog, row);
}

void RunRecord::cameraReported(const json& camera) {
    if (!camera.is_object() || !camera.value("connected", false))
        return;
    camera_["serial"] = camera.value("serial", json());
    camera_["type"] = camera.value("type", json());
    if (camera.contains("versions") && camera["versions"].is_object())
        before_ = camera["versions"];
}

void RunRecord::event(const json& value) {
    if (value.value("event", "") == "summary")
        summary_ = value;
}

json RunRecord::finish(int exitStatus) const {
    json devices = json::array();
    if (summary_.contains("devices")) {
        for (const json& device : summary_["devices"]) {
            const std::string name = device.value("device", "");
            json entry = {
                {"device", name},
                {"before", before_.contains(name) ? before_[name] : json()},
                {"after", device.contains("cameraReports") ? device["cameraReports"] : json()},
                {"result", device.value("result", "")}};
            if (device.contains("error"))
                entry["error"] = device["error"];
            devices.push_back(entry);
        }
    } else {
        for (int row = 0; row < app::kRowCount; ++row) {
            const std::string name = deviceCaption(row);
            if (!before_.contains(name))
                continue;
            const json& version = before_[name];
            const bool refused =
                std::find(refused_.begin(), refused_.end(), name) != refused_.end();
            devices.push_back({{"device", name},
                               {"before", version},
                               {"after", nullptr},
                               {"result", refused ? json("refused") : json()}});
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - startSteady_).count();
    json record = {{"time", utcTimeText(start_)},
                   {"host", platform::hostName()},
                   {"command", command_},
                   {"interface", options_.interface},
                   {"port", options_.port},
                   {"serial", camera_["serial"]},
                   {"type", camera_["type"]},
                   {"file", file_.empty() ? json() : json(file_)},
                   {"sha256", json()},
                   {"devices", devices},
                   {"seconds", double(int64_t(seconds * 10 + 0.5)) / 10},
                   {"exitStatus", exitStatus}};
    if (options_.interface == "camlink")
        record["grabber"] =
            options_.grabber.empty() ? std::string(app::kDefaultGrabberDll) : options_.grabber;
    if (!file_.empty()) {
        const std::string digest = files::sha256OfFile(file_);
        if (!digest.empty())
            record["sha256"] = digest;
    }
    return record;
}

std::string RunRecord::append(int exitStatus) const {
    if (options_.report.empty())
        return {};
    const std::string line =
        finish(exitStatus).dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
    if (const int error = files::appendRecord(options_.report, line))
        return "Cannot append the run's record to " + options_.report + ": " + std::strerror(error);
    return {};
}

}  // namespace cli

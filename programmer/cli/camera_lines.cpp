#include "programmer/cli/camera_lines.h"

#include <algorithm>

#include "programmer/cli/program_plan.h"

namespace cli {

using nlohmann::json;

namespace {

constexpr int kBarMin = 5;
constexpr int kBarMax = 30;
constexpr int kPortMin = 6;  // a port shortened further tells nothing

std::string text(const json& event, const char* key) {
    const auto found = event.find(key);
    return found != event.end() && found->is_string() ? found->get<std::string>() : std::string();
}

std::string words(const std::string& phase) {
    if (phase == "erase")
        return "erasing";
    if (phase == "write")
        return "writing";
    if (phase == "read")
        return "reading";
    if (phase == "reboot")
        return "rebooting";
    return phase;
}

// The first `count` characters of UTF-8 text.
std::string firstCharacters(const std::string& value, size_t count) {
    size_t seen = 0;
    for (size_t i = 0; i < value.size(); ++i)
        if ((static_cast<unsigned char>(value[i]) & 0xC0) != 0x80 && seen++ == count)
            return value.substr(0, i);
    return value;
}

// The last `count` characters of UTF-8 text.
std::string lastCharacters(const std::string& value, size_t count) {
    size_t seen = 0;
    for (size_t i = value.size(); i-- > 0;)
        if ((static_cast<unsigned char>(value[i]) & 0xC0) != 0x80 && ++seen == count)
            return value.substr(i);
    return value;
}

std::string summaryLine(const json& summary) {
    std::string line;
    if (summary.contains("devices"))
        for (const json& device : summary["devices"]) {
            line +=
                (line.empty() ? "" : ", ") + text(device, "device") + " " + text(device, "result");
            if (device.contains("cameraReports") && device["cameraReports"].is_string())
                line += " (" + device["cameraReports"].get<std::string>() + ")";
        }
    const bool ok = summary.value("ok", false);
    return std::string(ok ? "Summary: ok" : "Summary: FAILED") + (line.empty() ? "" : ": " + line);
}

}  // namespace

size_t characters(const std::string& value) {
    size_t count = 0;
    for (const char c : value)
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

std::string CameraState::apply(const json& event, int64_t now) {
    if (event.contains("serial") && !event["serial"].is_null())
        serial = event["serial"];
    const std::string name = text(event, "event");
    if (name == "camera") {
        camera = event;
        if (!event.value("connected", false))
            return "no camera answered";
        activity = "connected";
        std::string line = "camera " + (serial.is_null() ? std::string("in boot mode")
                                                         : "serial " + serial.dump());
        if (event.contains("type") && event["type"].is_string())
            line += ", type " + event["type"].get<std::string>();
        return line;
    }
    if (name == "cameraInfo") {
        if (event.contains("serialNumber") && !event["serialNumber"].is_null())
            serial = event["serialNumber"];
        summary = event;
        std::string line = "Camera information: ";
        line += event.value("cameraInfo", false) ? "read" : "not read";
        if (event.contains("devices") && event["devices"].is_array())
            for (const json& device : event["devices"])
                line += ", " + text(device, "device") + " " + text(device, "firmware");
        return line;
    }
    if (name == "plan")
        return std::string(event.value("dryRun", false) ? "Would program " : "To program ") +
               text(event, "device") + ": " + text(event, "from") + " -> " + text(event, "to");
    if (name == "estimate") {
        estimateSeconds = event.value("seconds", 0);
        estimateAt = now;
        return "Estimated duration: about " + durationText(estimateSeconds);
    }
    if (name == "info" || name == "connection-failed")
        return text(event, "text");
    if (name == "started") {
        device = text(event, "device");
        activity = "started";
        percent = 0;
        lastTenth = 0;
        return device + ": started";
    }
    if (name == "phase") {
        activity = words(text(event, "phase"));
        if (activity == "open" || activity == "close")
            return {};
        return device + ": " + activity;
    }
    if (name == "progress") {
        percent = event.value("percent", 0);
        if (percent / 10 <= lastTenth)
            return {};
        lastTenth = percent / 10;
        return device + ": " + std::to_string(lastTenth * 10) + "%";
    }
    if (name == "done" || name == "failed") {
        const bool done = name == "done";
        activity = done ? "done" : "FAILED";
        if (done)
            percent = 100;
        const std::string line = text(event, "device") + ": " + activity +
                                 (done ? "" : " (error " + text(event, "error") + ")");
        device.clear();
        return line;
    }
    if (name == "summary") {
        summary = event;
        if (event.contains("commands"))
            for (const json& command : event["commands"])
                if (command.is_string())
                    commands.push_back(command.get<std::string>());
        activity = event.value("ok", false) ? "ok" : "FAILED";
        return summaryLine(event);
    }
    if (name == "interrupted" && event.value("immediate", false))
        stoppedAtOnce = true;
    if (name == "interrupted" && event.contains("command")) {
        commands.clear();
        if (event["command"].is_string())
            commands.push_back(event["command"].get<std::string>());
        activity = "stopped";
        return commands.empty() ? "stopped: nothing is left to do"
                                : "stopped; to finish this camera: " + commands.front();
    }
    return {};
}

std::string cameraLine(const CameraState& camera, int columns, int64_t now) {
    const int room = std::max(columns, 20) - 1;
    std::string rest = " " + (camera.serial.is_null() ? std::string("-") : camera.serial.dump());
    if (!camera.device.empty())
        rest += " " + camera.device;
    std::string tail;
    bool withBar = false;
    if (camera.ended) {
        tail = camera.status == 0 ? "ok"
                                  : "FAILED (exit status " + std::to_string(camera.status) + ")";
    } else {
        withBar =
            !camera.device.empty() && (camera.activity == "writing" ||
                                       camera.activity == "reading" || camera.activity == "done");
        tail = withBar ? std::to_string(camera.percent) + "%" : camera.activity;
        if (camera.estimateSeconds >= 0) {
            const int64_t left =
                std::max<int64_t>(0, camera.estimateSeconds - (now - camera.estimateAt) / 1000);
            tail += " " + durationText(int(left)) + " left";
        }
    }
    // A long port gives way first, keeping its end (the part that tells ports apart).
    std::string port = camera.port;
    const int portRoom = room - int(characters(rest) + 1 + characters(tail));
    if (int(characters(port)) > portRoom && portRoom >= kPortMin)
        port = "\u2026" + lastCharacters(port, size_t(portRoom - 1));
    const std::string head = port + rest;
    std::string line = head + " ";
    const int free = room - int(characters(head) + 1 + characters(tail)) - 3;
    if (withBar && free >= kBarMin) {
        const int width = std::min(free, kBarMax);
        const int full = width * std::clamp(camera.percent, 0, 100) / 100;
        line +=
            "[" + std::string(size_t(full), '#') + std::string(size_t(width - full), '.') + "] ";
    }
    line += tail;
    // Too narrow for all of it: the end stays.
    if (characters(line) > size_t(room))
        line = firstCharacters(head, size_t(std::max(0, room - int(characters(tail)) - 1))) + " " +
               tail;
    return firstCharacters(line, size_t(room));
}

}  // namespace cli

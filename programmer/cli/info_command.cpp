#include "programmer/cli/info_command.h"

#include <cstdio>
#include <iostream>
#include <memory>

#include <nlohmann/json.hpp>

#include "programmer/cli/camera_session.h"
#include "programmer/cli/devices.h"
#include "programmer/cli/program_plan.h"
#include "programmer/cli/several_cameras.h"

namespace cli {

namespace {

using nlohmann::json;

std::string hex16(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

bool cameraInfoRead(const app::ProgDlg& dialog) {
    return dialog.cameraConnected() && dialog.CameraInfoResult();
}

json report(app::ProgDlg& dialog) {
    json out;
    const bool connected = !dialog.Model().ended && dialog.cameraConnected();
    out["connected"] = connected;
    out["cameraInfo"] = connected && cameraInfoRead(dialog);
    if (connected) {
        const camera::CCamUpdate& link = *dialog.link();
        out["bootMode"] = link.bootMode != 0;
        out["serialNumber"] = link.bootMode != 0 ? json(nullptr) : json(link.serialNumber);
        out["cameraType"] =
            dialog.CameraTypeRead() ? json(hex16(*dialog.CameraTypeRead())) : json(nullptr);
        if (dialog.HardwareBoards()) {
            out["hardware"] = json::array();
            for (const app::ProgDlg::HardwareBoard& board : *dialog.HardwareBoards())
                out["hardware"].push_back({{"board", board.name},
                                           {"codeA", board.codeA},
                                           {"codeB", board.codeB}});
        } else {
            out["hardware"] = nullptr;
        }
        out["devices"] = json::array();
        for (int row = 0; row < app::kRowCount; ++row) {
            const size_t i = size_t(row);
            const int version = dialog.CameraVersion(row);
            json device = {{"device", deviceCaption(row)},
                           {"name", kDeviceOptionNames[i]},
                           {"available", dialog.DeviceAvailable(row)},
                           {"firmware", versionText(dialog, row)}};
            device["variant"] = version < 0 ? json(nullptr) : json(dialog.CameraVariant(row));
            device["versionMajor"] = version < 0 ? json(nullptr) : json(version / 256);
            device["versionMinor"] = version < 0 ? json(nullptr) : json(version % 256);
            out["devices"].push_back(device);
        }
    }
    out["status"] = dialog.StatusShown();
    if (!dialog.NoCameraCause().name.empty())
        out["connectionCause"] = {{"cause", dialog.NoCameraCause().name},
                                  {"text", dialog.NoCameraCause().line}};
    return out;
}

void printText(const json& info, std::ostream& out) {
    if (!info["connected"].get<bool>()) {
        out << "Camera: not connected\n";
        return;
    }
    const bool bootMode = info["bootMode"].get<bool>();
    out << "Serial number: "
        << (bootMode ? std::string("-") : std::to_string(info["serialNumber"].get<uint32_t>()))
        << "\n";
    out << "Camera type: "
        << (info["cameraType"].is_null() ? "-" : info["cameraType"].get<std::string>()) << "\n";
    out << "Boot mode: " << (bootMode ? "yes" : "no") << "\n";
    out << "Hardware:";
    if (info["hardware"].is_null()) {
        out << " -\n";
    } else {
        out << "\n";
        for (const json& board : info["hardware"])
            out << "  " << board["board"].get<std::string>() << "  " << board["codeA"].get<int>()
                << ", " << board["codeB"].get<int>() << "\n";
    }
    out << "Firmware:\n";
    for (const json& device : info["devices"]) {
        std::string caption = device["device"].get<std::string>();
        // Pad by characters, not bytes: "Main µP" holds a two-byte character.
        size_t width = 0;
        for (const char c : caption)
            width += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        caption.append(width < 11 ? 11 - width : 1, ' ');
        out << "  " << caption << device["firmware"].get<std::string>() << "\n";
    }
    out << "Camera information: " << (info["cameraInfo"].get<bool>() ? "read" : "not read") << "\n";
    out << "Status: " << info["status"].get<std::string>() << "\n";
}

}  // namespace

Subcommand addInfoCommand(CLI::App& app) {
    auto options = std::make_shared<ConnectionOptions>();
    CLI::App* command = app.add_subcommand("info", "connect to the camera and show what it holds");
    addConnectionOptions(*command, *options);
    return {command, [options] {
                if (options->ports.size() > 1)
                    return runSeveralCameras("info", "", *options, [](size_t, const std::string&) {
                        return std::vector<std::string>{"info"};
                    });
                CameraSession session(*options, "info");
                json info;
                const int status = session.run([&](app::ProgDlg& dialog) {
                    info = report(dialog);
                    return info["cameraInfo"].get<bool>() ? kExitOk : kExitFailed;
                });
                if (status == kExitUsage)
                    return status;
                if (options->json) {
                    info["messages"] = session.host.messages();
                    // One camera of several: one line, as every event of the run.
                    std::cout << info.dump(options->child ? -1 : 2, ' ', false,
                                           json::error_handler_t::replace)
                              << "\n";
                } else {
                    printText(info, std::cout);
                }
                return status;
            }};
}

}  // namespace cli

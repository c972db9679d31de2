#include "programmer/cli/command_parts.h"

#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <optional>

#include "platform/terminal.h"
#include "programmer/cli/devices.h"

namespace cli {

void addDevicesOption(CLI::App& command, std::string& list, const std::string& description) {
    command.add_option("--devices", list, description)
        ->check(CLI::Validator(
            [](std::string& value) -> std::string {
                return deviceRowsOf(value) ? ""
                                           : "expected names from "
                                             "main-up,main-fpga,eeprom,pll,head-fpga";
            },
            "LIST"));
}

std::vector<int> rowsOfList(const std::string& list) {
    if (list.empty())
        return {0, 1, 2, 3, 4};
    std::vector<int> rows = deviceRowsOf(list).value_or(std::vector<int>{});
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

RunReporter consoleReporter(bool json) {
    const OutputStyle style = json                    ? OutputStyle::kJson
                              : isatty(STDOUT_FILENO) ? OutputStyle::kBars
                                                      : OutputStyle::kLines;
    return RunReporter(style, std::cout, platform::outputColumns);
}

void reportSession(CameraSession& session, RunReporter& reporter) {
    session.host.beforeOutput = [&reporter] { reporter.endLine(); };
    reporter.onEvent = [&session](const nlohmann::json& value) { session.record.event(value); };
    session.host.onMessage = [&reporter](const std::string& text) { reporter.message(text); };
    session.host.onModelChanged = [&reporter](const app::DialogModel& model) {
        reporter.modelChanged(model);
    };
}

void say(RunReporter& reporter, bool json, const std::string& text) {
    reporter.endLine();
    if (json) {
        reporter.event({{"event", "info"}, {"text", text}});
    } else {
        std::cout << text << "\n" << std::flush;
    }
}

}  // namespace cli

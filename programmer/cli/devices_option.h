#pragma once
// The --devices option of the backup, pack and verify commands, and their closing lines.

#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "programmer/cli/run_reporter.h"

namespace cli {

// --devices LIST with the names of kDeviceOptionNames, checked when parsed.
void addDevicesOption(CLI::App& command, std::string& list, const std::string& description);

// The rows of a list the option accepted; all five for an empty list.
std::vector<int> rowsOfList(const std::string& list);

// A line of the command's own (UTF-8): an "info" event in JSON, else a line on standard output.
void say(RunReporter& reporter, bool json, const std::string& text);

}  // namespace cli

#pragma once
// What the camera commands share: the --devices option, the reporter on
// standard output and its hook-up, and their own lines.

#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "programmer/cli/camera_session.h"
#include "programmer/cli/run_reporter.h"

namespace cli {

// --devices LIST with the names of kDeviceOptionNames, checked when parsed.
void addDevicesOption(CLI::App& command, std::string& list, const std::string& description);

// The rows of a list the option accepted; all five for an empty list.
std::vector<int> rowsOfList(const std::string& list);

// The reporter of program, backup and verify on standard output: bars as wide as the terminal
// is at each redraw, plain lines when it is no terminal, JSON lines with --json.
RunReporter consoleReporter(bool json);
// Lets the reporter show the session's messages, progress and status line.
void reportSession(CameraSession& session, RunReporter& reporter);

// A line of the command's own (UTF-8): an "info" event in JSON, else a line on standard output.
void say(RunReporter& reporter, bool json, const std::string& text);

}  // namespace cli

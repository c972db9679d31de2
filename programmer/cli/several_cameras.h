#pragma once
// A camera command given several --port options: one child kelvoflash-cli per camera runs the
// command with --json, concurrently and each in a process of its own (its own connection, log,
// signals and grabber library); this program starts them, merges their events and ends with the
// status of them all.

#include <functional>
#include <string>
#include <vector>

#include "programmer/cli/connection_options.h"

namespace cli {

// At most this many cameras in one command.
constexpr size_t kCamerasMax = 64;

// `childArguments(index, port)`: the arguments of the child for the index-th --port (the
// subcommand and its own options; childConnectionArguments supplies the connection's).
// 0 when every camera succeeded, 1 when any failed or was refused, 2 for wrong options (nothing
// is started then), 128 + the signal when a signal stopped the run.
// `command` and `file` name the subcommand and its update file in the records this program
// appends for cameras a second signal stopped at once (the others append their own).
int runSeveralCameras(
    const std::string& command, const std::string& file, const ConnectionOptions& options,
    const std::function<std::vector<std::string>(size_t index, const std::string& port)>&
        childArguments);

}  // namespace cli

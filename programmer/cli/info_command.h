#pragma once
// kelvoflash-cli info: connects as the programmer does with -S, reads the camera information
// through the main dialog's flows and prints what the camera is and holds.

#include "programmer/cli/subcommand.h"

namespace cli {

// Exit status kExitOk when the camera information read returned true, kExitFailed otherwise.
Subcommand addInfoCommand(CLI::App& app);

}  // namespace cli

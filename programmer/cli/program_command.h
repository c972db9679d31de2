#pragma once
// kelvoflash-cli program FILE.qup: connects, loads the update file through the main dialog's
// Load File flow, lets --devices change the devices the load chose, asks for confirmation, runs
// the programming run and sums up per device. --dry-run stops after showing what would be
// written.

#include "programmer/cli/subcommand.h"

namespace cli {

// Exit status kExitOk only when every chosen device was programmed and the camera reports the
// file's version for it afterwards (or when nothing was to be programmed, or for --dry-run);
// kExitFailed for a refused load, a cancelled confirmation or any device not programmed.
Subcommand addProgramCommand(CLI::App& app);

}  // namespace cli

#pragma once
// kelvoflash-cli backup OUT.qup: connects and reads the camera's devices into a backup update
// file with the main dialog's backup flow (device packet mode), so that they can be programmed
// back later.

#include "programmer/cli/subcommand.h"

namespace cli {

// Exit status kExitOk only when every chosen device was read completely and the file written;
// kExitFailed otherwise (then no file was written and an existing one is unchanged).
Subcommand addBackupCommand(CLI::App& app);

}  // namespace cli

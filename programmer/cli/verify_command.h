#pragma once
// kelvoflash-cli verify FILE.qup: connects, reads the devices back with the backup's reads and
// compares them with the file's images, writing nothing.

#include "programmer/cli/subcommand.h"

namespace cli {

// Exit status kExitOk only when every chosen device was read and matches its image;
// kExitFailed for an unreadable or refused file, a device that differs or could not be read.
Subcommand addVerifyCommand(CLI::App& app);

}  // namespace cli

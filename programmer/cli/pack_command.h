#pragma once
// kelvoflash-cli pack OUT.qup --main-up F.hex ...: builds an update file from device files with
// the main dialog's packet builder (file packet mode), without a camera.

#include "programmer/cli/subcommand.h"

namespace cli {

// Exit status kExitOk only when the file was written with every given device; kExitFailed
// otherwise (then no file was written and an existing one is unchanged); kExitUsage without
// any device file.
Subcommand addPackCommand(CLI::App& app);

}  // namespace cli

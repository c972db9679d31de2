#pragma once
// kelvoflash-cli ports: the serial devices of this machine, which --port selects each, and the
// Camera Link serial libraries the serial interface library would find.

#include "programmer/cli/subcommand.h"

namespace cli {

Subcommand addPortsCommand(CLI::App& app);

}  // namespace cli

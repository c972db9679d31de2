#pragma once
// kelvoflash-cli inspect FILE [--json]: what the programmer makes of an update file or a device
// file, without a camera.

#include <iosfwd>
#include <string>

#include "programmer/cli/subcommand.h"

namespace cli {

Subcommand addFileReportCommand(CLI::App& app);

// Reports on one file: an update file by its extension .qup, otherwise a device file read as the
// packet builder reads it. Returns kExitOk for a valid file, kExitFailed for a refused one (also
// one whose signature does not hold, or an unsigned one where signatures are required).
int reportFile(const std::string& path, bool json, std::ostream& out, bool requireSigned = false);

}  // namespace cli

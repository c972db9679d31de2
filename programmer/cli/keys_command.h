#pragma once
// kelvoflash-cli keygen NAME: a key pair for signing update files (NAME.key, NAME.pub).
// kelvoflash-cli sign FILE.qup --key NAME.key: the signature FILE.qup.minisig.

#include "programmer/cli/subcommand.h"

namespace cli {

// Exit status kExitOk when both files were written; kExitFailed when either exists already or
// the passphrase or writing failed (then neither file is left behind).
Subcommand addKeygenCommand(CLI::App& app);
// Exit status kExitOk when the signature was written; kExitFailed otherwise (an existing
// signature file is kept unless --yes).
Subcommand addSignCommand(CLI::App& app);

}  // namespace cli

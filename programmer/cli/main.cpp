// kelvoflash-cli: the console front end of the programmer.

#include <iostream>
#include <vector>

#include "programmer/cli/backup_command.h"
#include "programmer/cli/info_command.h"
#include "programmer/cli/interruption.h"
#include "programmer/cli/pack_command.h"
#include "programmer/cli/ports_command.h"
#include "programmer/cli/verify_command.h"
#include "programmer/cli/file_report_command.h"
#include "programmer/cli/program_command.h"
#include "programmer/cli/subcommand.h"

namespace {
// One line per subcommand; each lives in its own file.
const cli::AddSubcommand kSubcommands[] = {
    cli::addFileReportCommand,
    cli::addInfoCommand,
    cli::addProgramCommand,
    cli::addBackupCommand,
    cli::addPackCommand,
    cli::addVerifyCommand,
    cli::addPortsCommand,
};
}  // namespace

int main(int argc, char** argv) {
    cli::interruption::install();
    CLI::App app{"kelvoflash-cli: the camera firmware programmer for the console"};
    app.require_subcommand(1);
    std::vector<cli::Subcommand> subcommands;
    for (cli::AddSubcommand add : kSubcommands)
        subcommands.push_back(add(app));

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return cli::kExitUsage;
    }

    try {
        for (const cli::Subcommand& subcommand : subcommands)
            if (subcommand.command->parsed())
                return subcommand.run();
    } catch (const std::exception& e) {
        std::cerr << "kelvoflash-cli: " << e.what() << "\n";
        return cli::kExitFailed;
    }
    return cli::kExitUsage;
}

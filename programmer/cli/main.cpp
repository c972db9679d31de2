// kelvoflash-cli: the console front end of the programmer.

#include <iostream>
#include <string>
#include <vector>

#include "project_version.h"

#include "programmer/cli/arguments.h"
#include "programmer/cli/backup_command.h"
#include "programmer/cli/info_command.h"
#include "programmer/cli/keys_command.h"
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
    cli::addKeygenCommand,
    cli::addSignCommand,
};
}  // namespace

int main(int argc, char** argv) {
    cli::interruption::install();
    // From here on the arguments are UTF-8 on every system.
    std::vector<std::string> arguments = cli::utf8Arguments(argc, argv);
    std::vector<char*> pointers;
    for (std::string& argument : arguments)
        pointers.push_back(argument.data());
    argc = int(pointers.size());
    pointers.push_back(nullptr);
    argv = pointers.data();
    CLI::App app{"kelvoflash-cli: the camera firmware programmer for the console\n"
                 "\n"
                 "Runs the flows of the programmer's dialogs on the console: the connection,\n"
                 "the camera information, the checks of an update file, the programming run\n"
                 "with a reboot after each device, backup and verify. Messages go to stderr.\n",
                 "kelvoflash-cli"};
    app.require_subcommand(1);
    app.set_help_flag("-h,--help", "print this help and exit");  // the subcommands' too
    app.footer("Exit status: 0 done, 1 refused or failed, 2 wrong options.\n"
               "SUBCOMMAND --help lists the subcommand's options.");
    app.set_version_flag("--version", std::string("kelvoflash-cli ") + KF_PROJECT_VERSION,
                         "print the program's version and exit");
    std::vector<cli::Subcommand> subcommands;
    for (cli::AddSubcommand add : kSubcommands)
        subcommands.push_back(add(app));

    // A first word that names no subcommand is a mistyped subcommand, not a stray argument.
    if (argc > 1 && argv[1][0] != '-') {
        bool known = false;
        for (const cli::Subcommand& subcommand : subcommands)
            known = known || subcommand.command->check_name(argv[1]);
        if (!known) {
            std::cerr << "kelvoflash-cli: unknown subcommand '" << argv[1]
                      << "' (see kelvoflash-cli --help)\n";
            return cli::kExitUsage;
        }
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // Help and version end with 0 and print to standard output; mistakes end with 2.
        return app.exit(e) == 0 ? cli::kExitOk : cli::kExitUsage;
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

#pragma once
// The subcommands of kelvoflash-cli. Each one lives in its own file and offers an add function
// that registers its options on the application and returns what main runs when it was chosen.

#include <functional>

#include <CLI/CLI.hpp>

namespace cli {

// Exit status of every subcommand.
constexpr int kExitOk = 0;      // done, or the file is valid
constexpr int kExitFailed = 1;  // refused or failed
constexpr int kExitUsage = 2;   // wrong arguments

struct Subcommand {
    CLI::App* command = nullptr;
    std::function<int()> run;
};

using AddSubcommand = Subcommand (*)(CLI::App& app);

}  // namespace cli

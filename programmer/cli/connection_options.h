#pragma once
// The options every camera command of kelvoflash-cli shares: how to reach the camera, emergency
// mode, the log, JSON output and the answers to questions.

#include <string>

#include <CLI/CLI.hpp>

#include "programmer/app/start_options.h"

namespace cli {

struct ConnectionOptions {
    std::string interface = "com";  // com | camlink
    std::string port = "0";         // port index 0-8, or a serial device path (COM port only)
    std::string grabber;            // frame grabber library; empty: the programmer's default
    bool emergency = false;
    bool log = false;  // prog_log.txt in the current folder, as -L
    bool json = false;
    bool yes = false;
    bool no = false;
    std::string record;  // recording of the camera exchanges; empty: none
};

void addConnectionOptions(CLI::App& command, ConnectionOptions& options);

// The start options of a direct connection as the options ask for it. A port given as a path is
// reached as port index 0: QEL_COM1 is pointed at it in this process's environment. False, with
// `error` set, for options that cannot work together.
bool applyConnectionOptions(const ConnectionOptions& options, app::StartOptions& start,
                            std::string& error);

}  // namespace cli

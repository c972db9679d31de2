#pragma once
// The options every camera command of kelvoflash-cli shares: how to reach the camera, emergency
// mode, the log, JSON output and the answers to questions.

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "programmer/app/start_options.h"

namespace cli {

struct ConnectionOptions {
    std::string interface = "com";  // com | camlink
    std::string port = "0";         // port index 0-8, or a serial device path (COM port only)
    std::vector<std::string> ports;  // every --port given, in order; several: one run per camera
    std::string report;              // --report FILE: one JSON line per camera and run
    bool child = false;              // one camera of several, started by a kelvoflash-cli
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
// reached as port index 0 and `device` is set to the path (the camera link opens it, nothing else
// changes), else `device` is empty. False, with `error` set, for options that cannot work together.
bool applyConnectionOptions(const ConnectionOptions& options, app::StartOptions& start,
                            std::string& device, std::string& error);

// The options of one camera of several as a child kelvoflash-cli gets them: its `port`, JSON
// output and the child flag, then what the connection options say besides.
std::vector<std::string> childConnectionArguments(const ConnectionOptions& options,
                                                  const std::string& port);

// The device a --port value names, to find two values that lead to the same camera: the path
// behind a COM port (links followed), or the board of a Camera Link grabber.
std::string deviceIdentity(const ConnectionOptions& options, const std::string& port);
// Empty when every --port names its own device, else why not (one line).
std::string samePortRefusal(const ConnectionOptions& options);

}  // namespace cli

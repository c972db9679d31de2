#pragma once
// Command line of camsim.

#include <cstdint>
#include <string>
#include <vector>

#include "sim/faults.h"

namespace sim {

struct HardwareRecord {
    std::string name;  // at most 17 characters
    uint16_t codeA = 0;
    uint16_t codeB = 0;
};

struct FirmwareSetting {
    int row = 0;
    uint16_t variant = 0;
    uint8_t major = 0;
    uint8_t minor = 0;
};

struct SimOptions {
    std::string linkPath;
    uint32_t bootTimeMs = 3000;
    uint32_t eraseTimeMs = 500;
    std::vector<HardwareRecord> hardware;  // filled with the default board when none is given
    bool pagedFirmware = true;
    int extraRecords = 0;
    uint32_t clBaud = 9600;
    bool bootloader = true;
    uint16_t bootloaderVariant = 1;
    uint8_t bootloaderMajor = 1;
    uint8_t bootloaderMinor = 6;
    std::vector<FirmwareSetting> firmware;
    std::vector<int> plainDataRows;  // devices whose version is kept apart from their contents
    bool bootMode = false;
    int debugText = 0;
    std::string stateDir;
    uint32_t paceBaud = 0;  // 0: unpaced
    bool paceReport = false;  // print the paced lines' own check on exit
    int camlinkPort = -1;   // -1: no Camera Link socket; 0: any free port
    bool outputFormat = true;  // false: the interface output format commands are unknown
    uint32_t serial = 1234;
    uint16_t cameraType = 0x0400;
    uint16_t linkWord = 0;
    std::string description = "KM4 virtual camera (camsim)";
    Faults faults;
    std::string replayPath;  // answer as this recording did
    bool replayFast = false;  // without the recorded delays
    bool watchStdin = true;  // end when stdin reaches end of file
    bool help = false;
    bool version = false;
};

// Parses the arguments after the program name. False with a message on bad input.
bool parseOptions(const std::vector<std::string>& args, SimOptions& options, std::string& error);

// The --help text (options, fault descriptions, state folder, version block places, exit status).
std::string helpText();

}  // namespace sim

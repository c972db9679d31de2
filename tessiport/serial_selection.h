#pragma once
// The selection of a serial library when the host named none: the list of what the places hold
// (and of the COM ports that can be opened), shown through the host's registered chooser or, on
// an interactive terminal, as a numbered prompt.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tessiport/driver_entry.h"
#include "tessiport/serial_places.h"

namespace tessiport {

constexpr int kDialogNoChoice = 0;
constexpr int kDialogChosen = 1;
constexpr int kDialogCancelled = 2;

struct SerialChoices {
    std::vector<std::string> items;  // as shown: "clsertest*" (CLSERIALPATH), "clsertest", "ComPort3"
    std::vector<std::string> paths;  // what each item loads: the file found, or the COM port name
    uint32_t preselected = 0;
};

// The list of the three places in order, then the COM ports when `allowComPorts`.
SerialChoices listSerialChoices(const SerialPlaces& places, bool allowComPorts);

// Runs the selection for `entry`: 1 with the choice in entry.libraryPath, 2 cancelled, 0 no choice.
int serDlgProc(DriverEntry& entry, const SerialPlaces& places);

// The numbered prompt: 1 with `chosen` set, 2 cancelled, 0 at the end of the input.
int32_t askOnTerminal(std::FILE* in, std::FILE* out, const std::vector<std::string>& items,
                      uint32_t preselected, uint32_t& chosen);

}  // namespace tessiport

#pragma once
// What a programming run would write into one device: shown before the confirmation and by
// --dry-run, which stops there.

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "programmer/app/prog_dlg.h"

namespace cli {

struct DevicePlan {
    int row = 0;
    uint32_t bytes = 0;
    uint32_t blocks = 0;         // of up to 256 bytes
    uint32_t blocksWritten = 0;  // the FPGAs skip blank blocks of their erased flash
    bool erase = true;
    bool readBack = false;       // each written block is read back and compared
    uint32_t firstAddress = 0;
    uint32_t lastAddress = 0;
    std::string from;  // the camera's version now
    std::string to;    // the file's version
};

// The camera's wait after each device: the reboot's flush and boot cycles.
constexpr int kRebootSeconds = 16;

// The plan of row `row` of the dialog's loaded file (the row must be present in it).
DevicePlan planDevice(const app::ProgDlg& dialog, int row);
// The line rate the run writes at: 57600 baud over a COM port, 115200 over Camera Link.
uint32_t lineRate(const app::ProgDlg& dialog);
// Seconds to send the device's blocks (and read them back) at `baud`, ten bits per byte.
int writeSeconds(const DevicePlan& plan, uint32_t baud);
// "1:05", "0:07"; "1:02:03" from an hour on.
std::string durationText(int seconds);
nlohmann::json planJson(const DevicePlan& plan);
// Why the load refused the file for the device at `row`: the camera's and the file's variant and
// version, and the option that accepts the file anyway; empty when the device is not why.
std::string refusalText(int row, const app::DeviceDecision& device);
std::string planText(const DevicePlan& plan);
// The version the camera reported for `row` ("004 V01.00"), from the numbers it sent.
std::string versionText(const app::ProgDlg& dialog, int row);
// The version of the loaded file's image for `row`; "--- V--.--" when the file holds none.
std::string fileVersionText(const app::ProgDlg& dialog, int row);

}  // namespace cli

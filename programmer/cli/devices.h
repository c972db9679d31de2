#pragma once
// How the console names the camera's five devices and shows error codes and addresses.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cli {

// Names on the command line (--devices), by device row 0-4.
constexpr std::array<const char*, 5> kDeviceOptionNames = {"main-up", "main-fpga", "eeprom", "pll",
                                                           "head-fpga"};

// The row's caption as the dialog shows it, in UTF-8 ("Main µP", ..., "Head FPGA").
std::string deviceCaption(int row);
std::optional<int> deviceRowOf(const std::string& optionName);
// The rows of a comma-separated list of names; nothing when a name is unknown or empty.
std::optional<std::vector<int>> deviceRowsOf(const std::string& list);
// "0x80003011".
std::string hexText(uint32_t code);

}  // namespace cli

#pragma once
// Which hardware boards this program supports: per board entry, the allowed first and second
// hardware codes. Camera type 0x0100 has a table of its own.

#include <cstdint>
#include <optional>
#include <string>

namespace app {

// The table entry of a board name; nothing for names that pass without a test ("KM4GIGE" and
// every unknown name).
std::optional<int> HardwareEntryOf(const std::string& boardName);

// The board is compatible when its first code is in the entry's list A (or list A is empty) and
// its second code in list B (or list B is empty). Entries outside the table pass.
bool IsHardwareCompatible(int entry, uint16_t firstCode, uint16_t secondCode, uint16_t cameraType);

}  // namespace app

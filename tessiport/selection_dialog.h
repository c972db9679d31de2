#pragma once
// The library's own selection of a serial library, shown when the host registered no chooser:
// a numbered prompt on an interactive terminal here, the library's dialog on Windows.

#include <cstdint>
#include <string>
#include <vector>

namespace tessiport {

// 1 with `chosen` set, 2 when the user cancelled, 0 when no choice can be made.
int32_t showSelectionDialog(const std::vector<std::string>& items, uint32_t preselected,
                            uint32_t& chosen);

}  // namespace tessiport

#pragma once
// How a device row's progress bar looks in each state: except while the row is active, a solid
// colour covers the whole bar (grey idle, green done, red failed), with a word on done and failed
// so that they differ without telling green from red.

#include <cstdint>

namespace app {

struct RowLook {
    bool filled = false;  // false: the bar shows its position
    uint8_t red = 0, green = 0, blue = 0;
    const char* word = "";
};

RowLook RowLookOf(uint32_t state);

}  // namespace app

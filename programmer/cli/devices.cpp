#include "programmer/cli/devices.h"

#include <algorithm>
#include <cstdio>

#include "programmer/files/update_file_format.h"

namespace cli {

std::string deviceCaption(int row) {
    if (row < 0 || row >= files::kDeviceCount)
        return "?";
    return files::kDeviceCaptions[size_t(row)];
}

std::optional<int> deviceRowOf(const std::string& optionName) {
    for (size_t row = 0; row < kDeviceOptionNames.size(); ++row)
        if (optionName == kDeviceOptionNames[row])
            return int(row);
    return std::nullopt;
}

std::optional<std::vector<int>> deviceRowsOf(const std::string& list) {
    std::vector<int> rows;
    size_t start = 0;
    while (start <= list.size()) {
        const size_t comma = std::min(list.find(',', start), list.size());
        const std::optional<int> row = deviceRowOf(list.substr(start, comma - start));
        if (!row)
            return std::nullopt;
        rows.push_back(*row);
        start = comma + 1;
    }
    return rows;
}

std::string hexText(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

}  // namespace cli

#include "protocol/commands.h"

#include <cstdio>

namespace protocol {

std::string formatVersion(int variant, int major, int minor) {
    char text[32];
    std::snprintf(text, sizeof text, "%03d V%02d.%02d", variant, major, minor);
    return text;
}

}  // namespace protocol

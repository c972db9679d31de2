#include "programmer/app/hardware_compatibility.h"

#include <algorithm>
#include <array>

#include "protocol/commands.h"

namespace app {

namespace {

struct CodeList {
    int count = 0;  // 0 allows every code
    std::array<uint16_t, 20> codes{};

    bool allows(uint16_t code) const {
        return count == 0 || std::find(codes.begin(), codes.begin() + count, code) != codes.begin() + count;
    }
};

struct Entry {
    CodeList first;
    CodeList second;
};

constexpr int kEntryCount = 9;
using Table = std::array<Entry, kEntryCount>;

const Table& tableForOtherTypes() {
    static const Table table = {{
        {{5, {0xFFFF, 0, 13, 26, 28}}, {2, {0xFFFF, 1}}},  // KM4MAIN
    }};
    return table;
}

const Table& tableForType0100() {
    static const Table table = {{
        {{6, {0xFFFF, 0, 13, 26, 27, 28}}, {2, {0xFFFF, 2}}},  // KM4MAIN
        {{4, {0xFFFF, 0, 11, 12}}, {3, {0xFFFF, 0, 1}}},       // KM4MV13
    }};
    return table;
}

struct BoardName {
    const char* name;
    int entry;
};
// Entry 5 has no board name.
constexpr std::array<BoardName, 8> kBoards = {{{"KM4MAIN", 0},
                                               {"KM4MV13", 1},
                                               {"KM4BACKMV", 2},
                                               {"KM4FWIRE", 3},
                                               {"KM4HDCON", 4},
                                               {"KM4AD14 2", 6},
                                               {"KM4BACKA", 7},
                                               {"KM4HDBRD", 8}}};

}  // namespace

std::optional<int> HardwareEntryOf(const std::string& boardName) {
    for (const auto& board : kBoards)
        if (boardName == board.name) return board.entry;
    return std::nullopt;
}

bool IsHardwareCompatible(int entry, uint16_t firstCode, uint16_t secondCode, uint16_t cameraType) {
    if (entry < 0 || entry >= kEntryCount) return true;
    const Table& table =
        cameraType == protocol::kCameraTypeSecondTable ? tableForType0100() : tableForOtherTypes();
    const Entry& limits = table[static_cast<size_t>(entry)];
    return limits.first.allows(firstCode) && limits.second.allows(secondCode);
}

}  // namespace app

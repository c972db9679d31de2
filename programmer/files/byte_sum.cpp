#include "programmer/files/byte_sum.h"

#include <algorithm>
#include <cstring>

namespace files {

uint32_t sumBytes(const uint8_t* bytes, size_t size) {
    // Eight bytes at a time: the even and odd bytes of each word are added into four 16-bit lanes
    // each. A lane gains at most 2 x 255 per word, so 128 words fit before it must be emptied.
    constexpr uint64_t kLaneMask = 0x00FF00FF00FF00FFull;
    constexpr size_t kWordsPerRound = 128;
    uint64_t total = 0;
    size_t i = 0;
    while (size - i >= 8) {
        const size_t words = std::min((size - i) / 8, kWordsPerRound);
        uint64_t lanes = 0;
        for (size_t w = 0; w < words; ++w, i += 8) {
            uint64_t word;
            std::memcpy(&word, bytes + i, 8);
            lanes += (word & kLaneMask) + ((word >> 8) & kLaneMask);
        }
        // Fold the four 16-bit lanes.
        lanes = (lanes & 0x0000FFFF0000FFFFull) + ((lanes >> 16) & 0x0000FFFF0000FFFFull);
        total += (lanes & 0xFFFFFFFFull) + (lanes >> 32);
    }
    for (; i < size; ++i)
        total += bytes[i];
    return uint32_t(total);
}

}  // namespace files

#include "programmer/files/text_numbers.h"

namespace files {

bool isBlankChar(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

int hexByteValue(const char* twoDigits) {
    const int high = hexDigitValue(twoDigits[0]);
    const int low = hexDigitValue(twoDigits[1]);
    return (high | low) < 0 ? -1 : high << 4 | low;
}

bool parseHexNumber(std::string_view text, size_t& position, uint64_t& value, bool& overflow) {
    size_t i = position;
    while (i < text.size() && isBlankChar(text[i]))
        ++i;
    if (i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        hexDigitValue(text[i + 2]) >= 0)
        i += 2;
    value = 0;
    overflow = false;
    const size_t first = i;
    for (; i < text.size() && hexDigitValue(text[i]) >= 0; ++i) {
        if (value >> 60 != 0)
            overflow = true;
        value = value << 4 | uint64_t(hexDigitValue(text[i]));
    }
    if (i == first)
        return false;
    position = i;
    return true;
}

bool parseDecimalLowBits(std::string_view text, uint32_t& value) {
    size_t i = 0;
    while (i < text.size() && isBlankChar(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    const size_t first = i;
    uint32_t number = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        number = number * 10 + uint32_t(text[i] - '0');
    if (i == first)
        return false;
    value = negative ? 0u - number : number;
    return true;
}

}  // namespace files

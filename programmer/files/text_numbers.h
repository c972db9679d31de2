#pragma once
// Numbers in the text of device files and their names.

#include <cstdint>
#include <string_view>

namespace files {

// A blank as the C library counts them: space, tab, line feed, carriage return, vertical tab,
// form feed.
bool isBlankChar(char c);

// The value of a hex digit, or -1.
int hexDigitValue(char c);
// Two hex digits as a byte, or -1.
int hexByteValue(const char* twoDigits);

// A hexadecimal number at `position`: leading blanks and a "0x" are skipped, then at least one
// digit is required. `value` holds the number modulo 2^64, `overflow` tells that it was larger.
// On success `position` is behind the last digit.
bool parseHexNumber(std::string_view text, size_t& position, uint64_t& value, bool& overflow);

// A decimal integer at the start of `text`, as the C library reads one: leading blanks and a
// sign allowed, then at least one digit. The result is the number modulo 2^32, so its low bits
// are exact however long the number is.
bool parseDecimalLowBits(std::string_view text, uint32_t& value);

}  // namespace files

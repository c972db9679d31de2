#include "programmer/files/base64.h"

namespace files {

namespace {
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int valueOf(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}
}  // namespace

std::string base64Encode(const uint8_t* data, size_t size) {
    std::string text;
    text.reserve((size + 2) / 3 * 4);
    for (size_t i = 0; i < size; i += 3) {
        const uint32_t group = uint32_t(data[i]) << 16 |
                               (i + 1 < size ? uint32_t(data[i + 1]) << 8 : 0) |
                               (i + 2 < size ? uint32_t(data[i + 2]) : 0);
        text += kAlphabet[group >> 18 & 63];
        text += kAlphabet[group >> 12 & 63];
        text += i + 1 < size ? kAlphabet[group >> 6 & 63] : '=';
        text += i + 2 < size ? kAlphabet[group & 63] : '=';
    }
    return text;
}

std::optional<std::vector<uint8_t>> base64Decode(const std::string& text) {
    if (text.size() % 4 != 0)
        return std::nullopt;
    std::vector<uint8_t> bytes;
    bytes.reserve(text.size() / 4 * 3);
    for (size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        int padding = 0;
        uint32_t group = 0;
        for (size_t j = 0; j < 4; ++j) {
            const char c = text[i + j];
            int value = valueOf(c);
            if (c == '=' && last && j >= 2) {
                value = 0;
                ++padding;
            } else if (value < 0 || padding > 0) {
                return std::nullopt;  // a stray character, or data after padding
            }
            group = group << 6 | uint32_t(value);
        }
        // Bits the padding leaves over must be zero, so each byte string has one spelling.
        if ((padding == 1 && (group & 0xFF) != 0) || (padding == 2 && (group & 0xFFFF) != 0))
            return std::nullopt;
        bytes.push_back(uint8_t(group >> 16));
        if (padding < 2)
            bytes.push_back(uint8_t(group >> 8));
        if (padding < 1)
            bytes.push_back(uint8_t(group));
    }
    return bytes;
}

}  // namespace files

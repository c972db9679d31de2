// The telegram dumps of the log: a first line with code, length and up to four payload bytes,
// then the remaining bytes (checksum included) 16 to a line.
#include <cstdio>
#include <string>

#include "protocol/telegram.h"
#include "tessiport/library_log.h"

namespace tessiport {

namespace {
constexpr size_t kBytesPerLine = 16;

void dumpTelegram(uint32_t value, const uint8_t* telegram, uint32_t size, const char* word) {
    if (!logFileIsOpen() || telegram == nullptr || size < 4) return;
    const unsigned code = protocol::readU16(telegram);
    const uint8_t* b = telegram;
    // The first-line layouts for lengths 5 to 8; the space after the word aligns the two dumps.
    uint32_t shown = 4;
    switch (size) {
    case 5:
        LogMessage(level::kTelegram, value, "%s 0x%04x 0x%04x 0x%02x", word, code, size, b[4]);
        shown = 5;
        break;
    case 6:
        LogMessage(level::kTelegram, value, "%s 0x%04x 0x%04x 0x%02x  0x%02x", word, code, size,
                   b[4], b[5]);
        shown = 6;
        break;
    case 7:
        LogMessage(level::kTelegram, value, "%s 0x%04x 0x%04x 0x%02x 0x%02x 0x%02x", word, code,
                   size, b[4], b[5], b[6]);
        shown = 7;
        break;
    case 8:
        LogMessage(level::kTelegram, value, "%s 0x%04x 0x%04x 0x%02x 0x%02x 0x%02x 0x%02x", word,
                   code, size, b[4], b[5], b[6], b[7]);
        shown = 8;
        break;
    default:
        LogMessage(level::kTelegram, value, "%s 0x%04x 0x%04x", word, code, size);
        break;
    }
    for (uint32_t start = shown; start < size; start += kBytesPerLine) {
        std::string line = "       ";
        for (uint32_t i = start; i < size && i < start + kBytesPerLine; ++i) {
            char byte[8];
            std::snprintf(byte, sizeof byte, " 0x%02x", b[i]);
            line += byte;
        }
        LogMessage(level::kTelegram, value, "%s", line.c_str());
    }
}
}  // namespace

void logCommandDump(uint32_t value, const uint8_t* telegram, uint32_t size) {
    dumpTelegram(value, telegram, size, "Command");
}

void logReplyDump(uint32_t value, const uint8_t* telegram, uint32_t size) {
    dumpTelegram(value, telegram, size, "return ");
}

}  // namespace tessiport

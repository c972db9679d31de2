// The parameter file "km4_cl_param.ini": "//" comments removed, the text upper-cased, and each key
// taken from its first occurrence anywhere in the text (so "BOARD01_CLBAUDRATE=" also counts as
// "CLBAUDRATE=": a key is not tied to one board).
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/regular_file.h"
#include "tessiport/include/tessiport.h"
#include "tessiport/library_log.h"
#include "tessiport/log_file.h"

namespace tessiport {

namespace {
// A parameter file holds a few lines; anything this large is not one.
constexpr off_t kMaxFileSize = 1 << 20;

// Copies the text without its comments. A comment runs from "//" to its line feed; the line feeds
// and carriage returns right after it go too. Text before a comment keeps a CR LF line end.
std::string removeComments(std::string_view text) {
    std::string result;
    size_t position = 0;
    while (position < text.size()) {
        const size_t comment = text.find("//", position);
        if (comment == std::string_view::npos) {
            result.append(text.substr(position));
            result += '\n';
            break;
        }
        if (comment > position) {
            result.append(text.substr(position, comment - position));
            result += "\r\n";
        }
        size_t next = text.find('\n', comment);
        // A comment on the last line without a line feed runs to the end of the text.
        if (next == std::string_view::npos) break;
        while (next < text.size() && (text[next] == '\n' || text[next] == '\r')) ++next;
        position = next;
    }
    return result;
}

int digitValue(char c, int base) {
    if (c >= '0' && c <= '9') return c - '0';
    if (base == 16 && c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// An unsigned number after optional blanks; false (and `value` unchanged) without digits or when
// it does not fit 32 bits.
bool readNumber(const char* text, int base, uint32_t& value) {
    while (*text == ' ' || *text == '\t') ++text;
    uint64_t number = 0;
    int digits = 0;
    for (int d; (d = digitValue(*text, base)) >= 0; ++text, ++digits) {
        number = number * unsigned(base) + unsigned(d);
        if (number > UINT32_MAX) return false;
    }
    if (digits == 0) return false;
    value = uint32_t(number);
    return true;
}

// Reads the value after the first occurrence of `key`; false when the key does not occur.
bool readKey(const std::string& text, const char* key, int base, uint32_t& value) {
    const size_t at = text.find(key);
    if (at == std::string::npos) return false;
    readNumber(text.c_str() + at + std::char_traits<char>::length(key), base, value);
    return true;
}

// Decimal, then the hexadecimal form where it occurs (which then wins); each read logged.
void readDecimalOrHex(const std::string& text, const char* key, const char* hexKey,
                      uint32_t& field, void (*logRead)(uint32_t)) {
    if (readKey(text, key, 10, field)) logRead(field);
    if (readKey(text, hexKey, 16, field)) logRead(field);
}

void readTransferParameters(const std::string& text, TransferParametersBlock& block) {
    LogMessage(level::kStartup, 1, "get file Parameters for all Boards");
    if (readKey(text, "CLBAUDRATE=", 10, block.baudrate))
        LogMessage(level::kStartup, 1, "file baudrate %d", int(block.baudrate));
    if (readKey(text, "CLCLOCKFREQUENCY=", 10, block.ClockFrequency))
        LogMessage(level::kStartup, 1, "file ClockFrequency %d", int(block.ClockFrequency));
    readDecimalOrHex(text, "CLCCLINE=", "CLCCLINE=0X", block.CCline, [](uint32_t v) {
        LogMessage(level::kStartup, 1, "file CCline %d", int(v));
    });
    if (readKey(text, "CLDATAFORMAT=", 10, block.DataFormat))
        LogMessage(level::kStartup, 1, "file DataFormat %d ", int(block.DataFormat));
    readDecimalOrHex(text, "CLTRANSMIT=", "CLTRANSMIT=0X", block.Transmit, [](uint32_t v) {
        LogMessage(level::kStartup, 1, "file Transmit %d 0x%x", int(v), v);
    });
}

// The whole file, or false when it cannot be read whole.
bool readWholeFile(int fd, std::string& content) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > kMaxFileSize)
        return false;
    content.resize(size_t(info.st_size));
    size_t done = 0;
    while (done < content.size()) {
        const ssize_t got = ::read(fd, content.data() + done, content.size() - done);
        if (got <= 0) return false;
        done += size_t(got);
    }
    return true;
}
}  // namespace

uint32_t get_param_file(TransferParametersBlock* block) {
    const char* path = parameterFilePath();
    const int fd =
        path[0] != '\0' ? platform::openRegularFile(path, platform::FileAccess::Read) : -1;
    if (fd < 0) {
        LogMessage(level::kStartup, 1, "get_param_file: open file %s failed", path);
        return TP_ERR_PARAMETER_FILE;
    }
    LogMessage(level::kStartup, 1, "parameter file found cl_par 0x%lx",
               static_cast<unsigned long>(reinterpret_cast<uintptr_t>(block)));
    std::string content;
    const bool complete = readWholeFile(fd, content);
    ::close(fd);
    if (!complete) {
        LogMessage(level::kStartup, 1, "get_param_file: read file %s failed", path);
        return TP_ERR_PARAMETER_FILE;
    }

    std::string text = removeComments(content);
    for (char& c : text) c = char(std::toupper(static_cast<unsigned char>(c)));

    uint32_t bits = logBits();
    if (readKey(text, "LOGGING=0X", 16, bits) || readKey(text, "LOGGING=", 10, bits)) {
        setLogBits(bits);
        LogMessage(level::kStartup, 1, "log_bits set to 0x%x", bits);
    }
    if (block != nullptr) readTransferParameters(text, *block);
    return TP_OK;
}

}  // namespace tessiport

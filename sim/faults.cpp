#include "sim/faults.h"

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace sim {

const char* const kFaultHelp =
    "Faults (--fault FAULT, repeatable; CMD is a hex command code such as 0x0110, DEV a device\n"
    "row 0-4: 0 Main uP, 1 Main FPGA, 2 EEPROM, 3 Main PLL, 4 Head FPGA):\n"
    "  no-reply:CMD[:N]        CMD is lost (not carried out, not answered); with N only the\n"
    "                          first N times\n"
    "  wrong-code:CMD          the reply to CMD carries the code + 0x0100\n"
    "  bad-checksum:CMD        the reply to CMD has a wrong checksum byte\n"
    "  error:CMD:CODE          CMD is refused with an error reply carrying CODE\n"
    "  short-body:CMD          the reply announces its full length but sends half its body\n"
    "  short-reply:CMD[:N]     the reply to CMD is well formed (length, checksum) but carries\n"
    "                          only half its payload, or only its first N payload bytes\n"
    "  wrong-echo:CMD          block reads (0x1403, 0x1603) answer with the following block, its\n"
    "                          addresses and data; other replies echo their first u32 plus one\n"
    "  debug-flood:CMD         200 debug text telegrams are sent before the reply to CMD\n"
    "  write-fail:DEV:K        the K-th block write (0-based, since DEV was opened) is refused\n"
    "  read-fail:DEV:K         the K-th block read (0-based, since DEV was opened) is refused\n"
    "  readback-mismatch:DEV   block reads of DEV return the data with one bit flipped\n"
    "  erase-fail:DEV          ERASE_DEVICE on DEV is refused (contents unchanged)\n"
    "  open-fail:DEV           opening DEV is refused\n"
    "  close-fail:DEV          CLOSE_DEVICE on DEV is refused (the device stays open)\n"
    "  silent:DEV:K            after K answered block writes to DEV (since it was opened) the\n"
    "                          camera never answers again\n"
    "  no-answer-after-reboot  after a REBOOT the camera never answers again\n"
    "  boot-mode-after-reboot  after a REBOOT the camera runs only its bootloader\n"
    "  power-loss:DEV:K        after K answered block writes to DEV (since it was opened) the\n"
    "                          next write is lost, the camera is silent for the boot time and\n"
    "                          comes back in boot mode with the flash as far as written; once\n";

namespace {

std::vector<std::string> splitColons(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        const size_t colon = text.find(':', start);
        parts.push_back(text.substr(start, colon - start));
        if (colon == std::string::npos) break;
        start = colon + 1;
    }
    return parts;
}

bool parseNumber(const std::string& text, int base, uint64_t max, uint64_t& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text.c_str(), &end, base);
    if (errno != 0 || *end != '\0' || text[0] == '-' || v > max) return false;
    value = v;
    return true;
}

bool parseCode(const std::string& text, uint16_t& code) {
    uint64_t v = 0;
    if (!parseNumber(text, 16, 0xFFFF, v)) return false;
    code = uint16_t(v);
    return true;
}

bool parseRow(const std::string& text, int& row) {
    uint64_t v = 0;
    if (!parseNumber(text, 10, kDeviceCount - 1, v)) return false;
    row = int(v);
    return true;
}

bool parseCount(const std::string& text, int& count) {
    uint64_t v = 0;
    if (!parseNumber(text, 10, 1000000, v)) return false;
    count = int(v);
    return true;
}

}  // namespace

bool addFault(const std::string& description, Faults& faults, std::string& error) {
    const std::vector<std::string> p = splitColons(description);
    const std::string& kind = p[0];
    const size_t args = p.size() - 1;
    uint16_t code = 0;
    int row = 0;
    int count = 0;
    bool ok = false;
    if (kind == "no-reply" && (args == 1 || args == 2) && parseCode(p[1], code)) {
        count = -1;
        ok = args == 1 || parseCount(p[2], count);
        if (ok) faults.noReply[code] = count;
    } else if (kind == "wrong-code" && args == 1 && parseCode(p[1], code)) {
        faults.wrongCode.insert(code);
        ok = true;
    } else if (kind == "bad-checksum" && args == 1 && parseCode(p[1], code)) {
        faults.badChecksum.insert(code);
        ok = true;
    } else if (kind == "short-body" && args == 1 && parseCode(p[1], code)) {
        faults.shortBody.insert(code);
        ok = true;
    } else if (kind == "short-reply" && (args == 1 || args == 2) && parseCode(p[1], code)) {
        count = -1;
        ok = args == 1 || parseCount(p[2], count);
        if (ok) faults.shortReply[code] = count;
    } else if (kind == "wrong-echo" && args == 1 && parseCode(p[1], code)) {
        faults.wrongEcho.insert(code);
        ok = true;
    } else if (kind == "debug-flood" && args == 1 && parseCode(p[1], code)) {
        faults.debugFlood.insert(code);
        ok = true;
    } else if (kind == "error" && args == 2 && parseCode(p[1], code)) {
        uint64_t value = 0;
        ok = parseNumber(p[2], 16, 0xFFFFFFFF, value);
        if (ok) faults.errorReply[code] = uint32_t(value);
    } else if (kind == "write-fail" && args == 2 && parseRow(p[1], row)) {
        ok = parseCount(p[2], count);
        if (ok) faults.writeFail.insert({row, count});
    } else if (kind == "read-fail" && args == 2 && parseRow(p[1], row)) {
        ok = parseCount(p[2], count);
        if (ok) faults.readFail.insert({row, count});
    } else if (kind == "power-loss" && args == 2 && parseRow(p[1], row)) {
        ok = parseCount(p[2], count);
        if (ok) faults.powerLoss[row] = count;
    } else if (kind == "readback-mismatch" && args == 1 && parseRow(p[1], row)) {
        ok = faults.readbackMismatch[size_t(row)] = true;
    } else if (kind == "erase-fail" && args == 1 && parseRow(p[1], row)) {
        ok = faults.eraseFail[size_t(row)] = true;
    } else if (kind == "open-fail" && args == 1 && parseRow(p[1], row)) {
        ok = faults.openFail[size_t(row)] = true;
    } else if (kind == "close-fail" && args == 1 && parseRow(p[1], row)) {
        ok = faults.closeFail[size_t(row)] = true;
    } else if (kind == "silent" && args == 2 && parseRow(p[1], row)) {
        ok = parseCount(p[2], count);
        if (ok) faults.silentAfter[row] = count;
    } else if (kind == "no-answer-after-reboot" && args == 0) {
        ok = faults.noAnswerAfterReboot = true;
    } else if (kind == "boot-mode-after-reboot" && args == 0) {
        ok = faults.bootModeAfterReboot = true;
    }
    if (!ok) error = "bad fault description '" + description + "' (see --help)";
    return ok;
}

}  // namespace sim

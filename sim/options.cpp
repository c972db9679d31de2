#include "sim/options.h"

#include <cerrno>
#include <cstdlib>

namespace sim {

namespace {

constexpr int kMaxHardwareRecords = 10;
constexpr size_t kMaxHardwareName = 17;
constexpr size_t kMaxDescription = 39;  // keeps a terminating zero in the 40-byte field
constexpr int kMaxExtraRecords = 2000;  // pages are numbered by one byte

bool toNumber(const std::string& text, uint64_t max, uint64_t& value) {
    if (text.empty() || text[0] == '-') return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v > max) return false;
    value = v;
    return true;
}

template <typename T>
bool toField(const std::string& text, uint64_t max, T& field) {
    uint64_t v = 0;
    if (!toNumber(text, max, v)) return false;
    field = T(v);
    return true;
}

// "MAJ.MIN", each 0-255; "1.06" is version 1, minor 6.
bool toVersion(const std::string& text, uint8_t& major, uint8_t& minor) {
    const size_t dot = text.find('.');
    if (dot == std::string::npos) return false;
    uint64_t maj = 0;
    uint64_t min = 0;
    // Base 10 explicitly: "06" must not read as octal.
    auto dec = [](const std::string& t, uint64_t& v) {
        if (t.empty() || t.find_first_not_of("0123456789") != std::string::npos) return false;
        v = std::strtoull(t.c_str(), nullptr, 10);
        return v <= 255;
    };
    if (!dec(text.substr(0, dot), maj) || !dec(text.substr(dot + 1), min)) return false;
    major = uint8_t(maj);
    minor = uint8_t(min);
    return true;
}

bool parseHardware(const std::string& text, HardwareRecord& record) {
    const size_t a = text.find(':');
    const size_t b = a == std::string::npos ? a : text.find(':', a + 1);
    if (b == std::string::npos) return false;
    record.name = text.substr(0, a);
    return !record.name.empty() && record.name.size() <= kMaxHardwareName &&
           toField(text.substr(a + 1, b - a - 1), 0xFFFF, record.codeA) &&
           toField(text.substr(b + 1), 0xFFFF, record.codeB);
}

bool parseVariantVersion(const std::string& text, uint16_t& variant, uint8_t& major,
                         uint8_t& minor) {
    const size_t colon = text.find(':');
    return colon != std::string::npos && toField(text.substr(0, colon), 0xFFFF, variant) &&
           toVersion(text.substr(colon + 1), major, minor);
}

bool parseFirmware(const std::string& text, FirmwareSetting& setting) {
    const size_t colon = text.find(':');
    return colon != std::string::npos &&
           toField(text.substr(0, colon), kDeviceCount - 1, setting.row) &&
           parseVariantVersion(text.substr(colon + 1), setting.variant, setting.major,
                               setting.minor);
}

}  // namespace

bool parseOptions(const std::vector<std::string>& args, SimOptions& o, std::string& error) {
    std::vector<HardwareRecord> hardware;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool hasValue = false;
        const size_t eq = name.find('=');
        if (name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            hasValue = true;
        }
        // Fetches the option's value from "--name=value" or the next argument.
        auto next = [&]() -> bool {
            if (hasValue) return true;
            if (i + 1 >= args.size()) return false;
            value = args[++i];
            return true;
        };
        bool ok = true;
        if (name == "--help" || name == "-h") {
            o.help = true;
        } else if (name == "--ignore-stdin") {
            o.watchStdin = false;
        } else if (name == "--link") {
            ok = next() && !value.empty();
            o.linkPath = value;
        } else if (name == "--boot-time") {
            ok = next() && toField(value, 600000, o.bootTimeMs);
        } else if (name == "--erase-time") {
            ok = next() && toField(value, 600000, o.eraseTimeMs);
        } else if (name == "--hardware") {
            HardwareRecord record;
            ok = next() && parseHardware(value, record);
            if (ok) hardware.push_back(record);
        } else if (name == "--no-paged-firmware") {
            o.pagedFirmware = false;
        } else if (name == "--extra-records") {
            ok = next() && toField(value, kMaxExtraRecords, o.extraRecords);
        } else if (name == "--cl-baud") {
            ok = next() && toField(value, 0xFFFFFFFF, o.clBaud);
        } else if (name == "--bootloader") {
            ok = next() && parseVariantVersion(value, o.bootloaderVariant, o.bootloaderMajor,
                                               o.bootloaderMinor);
            o.bootloader = true;
        } else if (name == "--no-bootloader") {
            o.bootloader = false;
        } else if (name == "--firmware") {
            FirmwareSetting setting;
            ok = next() && parseFirmware(value, setting);
            if (ok) o.firmware.push_back(setting);
        } else if (name == "--boot-mode") {
            o.bootMode = true;
        } else if (name == "--debug-text") {
            ok = next() && toField(value, 1000, o.debugText);
        } else if (name == "--state") {
            ok = next() && !value.empty();
            o.stateDir = value;
        } else if (name == "--pace") {
            ok = next() && toField(value, 100000000, o.paceBaud);
        } else if (name == "--pace-report") {
            o.paceReport = true;
        } else if (name == "--camlink-port") {
            ok = next() && toField(value, 65535, o.camlinkPort);
        } else if (name == "--no-output-format") {
            o.outputFormat = false;
        } else if (name == "--serial") {
            ok = next() && toField(value, 0xFFFFFFFF, o.serial);
        } else if (name == "--type") {
            // Hexadecimal with or without 0x.
            uint64_t v = 0;
            ok = next() && toNumber(value.rfind("0x", 0) == 0 || value.rfind("0X", 0) == 0
                                        ? value
                                        : "0x" + value,
                                    0xFFFF, v);
            o.cameraType = uint16_t(v);
        } else if (name == "--link-word") {
            ok = next() && toField(value, 0xFFFF, o.linkWord);
        } else if (name == "--description") {
            ok = next() && value.size() <= kMaxDescription;
            o.description = value;
        } else if (name == "--fault") {
            if (!next()) {
                ok = false;
            } else if (!addFault(value, o.faults, error)) {
                return false;
            }
        } else {
            error = "unknown option '" + args[i] + "' (see --help)";
            return false;
        }
        if (!ok) {
            error = "bad or missing value for " + name + " (see --help)";
            return false;
        }
    }
    if (hardware.size() > size_t(kMaxHardwareRecords)) {
        error = "at most 10 --hardware records fit a reply";
        return false;
    }
    o.hardware = hardware.empty() ? std::vector<HardwareRecord>{{"KM4MAIN", 13, 1}} : hardware;
    return true;
}

std::string helpText() {
    return std::string(
               "camsim - a virtual camera on a pseudo terminal\n"
               "\n"
               "Prints the path of the serial port (the pty slave) as the first line on stdout\n"
               "and answers command telegrams there like the camera. Ends on SIGTERM, SIGINT or\n"
               "when its standard input reaches end of file (see --ignore-stdin).\n"
               "\n"
               "Options:\n"
               "  --link PATH            also make PATH a symlink to the port (replaces an old\n"
               "                         symlink, never a file; removed on exit)\n"
               "  --serial N             serial number (default 1234)\n"
               "  --type HEX             camera type (default 0x0400)\n"
               "  --link-word N          link word in the GET_CAMERA_TYPE reply (default 0)\n"
               "  --description TEXT     camera description, at most 39 characters\n"
               "  --hardware NAME:A:B    a hardware record (repeatable, at most 10; default one\n"
               "                         KM4MAIN:13:1)\n"
               "  --firmware ROW:VAR:MAJ.MIN\n"
               "                         write a version block into device ROW at start\n"
               "                         (repeatable; e.g. 0:4:3.02)\n"
               "  --bootloader VAR:MAJ.MIN  bootloader record (default 1:1.06); named\n"
               "                         \"boot.tarun\" for camera types 0x1300, 0x1310, 0x1302\n"
               "  --no-bootloader        report no bootloader record\n"
               "  --extra-records N      N more firmware records \"Aux 1\" ... (variant 0 V01.00)\n"
               "  --no-paged-firmware    GET_FIRMWARE_VERSIONS_PAGE gets the error 0x80001020\n"
               "  --no-output-format     GET/SET_INTERFACE_OUTPUT_FORMAT get the error\n"
               "                         0x80001020 (a camera without them)\n"
               "  --boot-mode            run the bootloader only (type 0x0800, Main uP only);\n"
               "                         stays so across reboots\n"
               "  --boot-time MS         silence after REBOOT or a power loss (default 3000)\n"
               "  --erase-time MS        duration of ERASE_DEVICE (default 500)\n"
               "  --cl-baud N            Camera Link baud rate at start and after a reboot\n"
               "                         (default 9600); the socket of --camlink-port expects\n"
               "                         it until SET_CL_BAUDRATE (9600, 19200, 38400, 57600,\n"
               "                         115200, 230400, 460800 or 921600) changes it, once\n"
               "                         its reply has gone out at the old rate\n"
               "  --debug-text N         N debug text telegrams before each reply until\n"
               "                         \"verbose 0\\r\" (default 0; on again after a reboot)\n"
               "  --pace BAUD            act like a BAUD 8N1 line (ten bits a byte) both ways:\n"
               "                         replies leave at that pace, and a command is acted on\n"
               "                         only once all its bytes would have arrived\n"
               "  --pace-report          on exit, print on stderr the bytes each paced line\n"
               "                         sent, the time they took and their wire time\n"
               "  --camlink-port N       also serve the camera's Camera Link serial line on\n"
               "                         127.0.0.1:N (0: any free port) for libclsersim;\n"
               "                         prints \"camlink 127.0.0.1:PORT\" as a second line.\n"
               "                         One client at a time: a new one replaces the old.\n"
               "                         Paced (--pace), its line time follows the Camera Link\n"
               "                         rate in force instead of BAUD\n"
               "  --state DIR            keep the device contents in DIR (see below)\n"
               "  --fault FAULT           inject a fault (repeatable; see below)\n"
               "  --ignore-stdin         keep running when stdin closes (for background use;\n"
               "                         then only SIGTERM or SIGINT end camsim)\n"
               "  --help                 this text\n"
               "\n"
               "Devices (row, open code, addresses, where the version block sits):\n"
               "  0 Main uP    0x7003  flash 1 MiB at 0x80000000-0x800FFFFF;\n"
               "                       version block at 0x800F7FE0 (offset 0xF7FE0)\n"
               "  1 Main FPGA  0x7103  flash 4 MiB at 0; version block at bytes 0-9\n"
               "  2 EEPROM     0x7203  448 bytes at 0; WRITE_EEPROM_BLOCK/READ_EEPROM_BLOCK,\n"
               "                       writes replace; version block at bytes 0-9\n"
               "  3 Main PLL   0x7403  448 bytes at 0; WRITE_BLOCK replaces, reads with either\n"
               "                       read command; version block at bytes 0x10-0x19\n"
               "  4 Head FPGA  0x7303  flash 4 MiB at 0; version block at bytes 0-9\n"
               "Flash writes only clear bits (ERASE_DEVICE sets all bytes to 0xFF). A version\n"
               "block is minor, major, u16 variant, hour, minute, day, month, u16 year; a device\n"
               "whose block is all 0xFF is not reported in the firmware records.\n"
               "\n"
               "State folder (--state DIR): main_up.bin, main_fpga.bin, eeprom.bin,\n"
               "main_pll.bin and head_fpga.bin hold the device contents. They are loaded at\n"
               "start (a missing file means an erased device; a file of the wrong size stops\n"
               "camsim) and written after a burst of writes, at CLOSE_DEVICE, at a reboot and\n"
               "at exit. Without --state every device starts erased except what --firmware\n"
               "sets.\n"
               "\n") +
           kFaultHelp;
}

}  // namespace sim

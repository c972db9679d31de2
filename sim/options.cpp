#include "sim/options.h"

#include <cerrno>
#include <cstdlib>
#include <functional>

#include <CLI/CLI.hpp>

#include "project_version.h"

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

// Registers camsim's options on `app`. Each acts on `o` as it is read, in the order given, so a
// later option overrides an earlier one (--no-bootloader after --bootloader wins, and so on).
void describeOptions(CLI::App& app, SimOptions& o, std::vector<HardwareRecord>& hardware) {
    app.set_help_flag("-h,--help", "print this help and exit");
    app.set_version_flag("--version", "camsim " KF_PROJECT_VERSION,
                         "print the program's version and exit");
    using Apply = std::function<bool(const std::string&)>;
    const auto value = [&app](const char* name, const char* type, const char* help,
                              Apply apply) {
        const std::string refusal = std::string("bad or missing value for ") + name +
                                    " (see --help)";
        app.add_option_function<std::string>(
               name,
               [apply, refusal](const std::string& text) {
                   if (!apply(text))
                       throw CLI::ValidationError(refusal, CLI::ExitCodes::ValidationError);
               },
               help)
            ->type_name(type)
            ->trigger_on_parse();
    };
    const auto flag = [&app](const char* name, const char* help, std::function<void()> apply) {
        app.add_flag_callback(name, std::move(apply), help)->trigger_on_parse();
    };
    const auto notEmpty = [](std::string& field) {
        return [&field](const std::string& text) {
            field = text;
            return !text.empty();
        };
    };

    value("--link", "PATH",
          "also make PATH a symlink to the port (replaces an old\n"
          "symlink, never a file; removed on exit)",
          notEmpty(o.linkPath));
    value("--serial", "N", "serial number (default 1234)",
          [&o](const std::string& t) { return toField(t, 0xFFFFFFFF, o.serial); });
    value("--type", "HEX", "camera type (default 0x0400)", [&o](const std::string& t) {
        // Hexadecimal with or without 0x.
        const bool prefixed = t.rfind("0x", 0) == 0 || t.rfind("0X", 0) == 0;
        return toField(prefixed ? t : "0x" + t, 0xFFFF, o.cameraType);
    });
    value("--link-word", "N", "link word in the GET_CAMERA_TYPE reply (default 0)",
          [&o](const std::string& t) { return toField(t, 0xFFFF, o.linkWord); });
    value("--description", "TEXT", "camera description, at most 39 characters",
          [&o](const std::string& t) {
              o.description = t;
              return t.size() <= kMaxDescription;
          });
    value("--hardware", "NAME:A:B",
          "a hardware record (repeatable, at most 10; default one\n"
          "KM4MAIN:13:1)",
          [&hardware](const std::string& t) {
              HardwareRecord record;
              if (!parseHardware(t, record)) return false;
              hardware.push_back(record);
              return true;
          });
    value("--firmware", "ROW:VAR:MAJ.MIN",
          "write a version block into device ROW at start\n"
          "(repeatable; e.g. 0:4:3.02)",
          [&o](const std::string& t) {
              FirmwareSetting setting;
              if (!parseFirmware(t, setting)) return false;
              o.firmware.push_back(setting);
              return true;
          });
    value("--plain-data", "ROW",
          "device ROW holds plain data: its version block is\n"
          "kept apart from its contents, set by --firmware and\n"
          "left as it is by programming (repeatable)",
          [&o](const std::string& t) {
              int row = 0;
              if (!toField(t, kDeviceCount - 1, row)) return false;
              o.plainDataRows.push_back(row);
              return true;
          });
    value("--bootloader", "VAR:MAJ.MIN",
          "bootloader record (default 1:1.06); named \"boot.tarun\"\n"
          "for camera types 0x1300, 0x1310, 0x1302",
          [&o](const std::string& t) {
              o.bootloader = true;
              return parseVariantVersion(t, o.bootloaderVariant, o.bootloaderMajor,
                                         o.bootloaderMinor);
          });
    flag("--no-bootloader", "report no bootloader record", [&o] { o.bootloader = false; });
    value("--extra-records", "N", "N more firmware records \"Aux 1\" ... (variant 0 V01.00)",
          [&o](const std::string& t) { return toField(t, kMaxExtraRecords, o.extraRecords); });
    flag("--no-paged-firmware", "GET_FIRMWARE_VERSIONS_PAGE gets the error 0x80001020",
         [&o] { o.pagedFirmware = false; });
    flag("--no-output-format",
         "GET/SET_INTERFACE_OUTPUT_FORMAT get the error\n"
         "0x80001020 (a camera without them)",
         [&o] { o.outputFormat = false; });
    flag("--boot-mode",
         "run the bootloader only (type 0x0800, Main uP only);\n"
         "stays so across reboots",
         [&o] { o.bootMode = true; });
    value("--boot-time", "MS", "silence after REBOOT or a power loss (default 3000)",
          [&o](const std::string& t) { return toField(t, 600000, o.bootTimeMs); });
    value("--erase-time", "MS", "duration of ERASE_DEVICE (default 500)",
          [&o](const std::string& t) { return toField(t, 600000, o.eraseTimeMs); });
    value("--cl-baud", "N",
          "Camera Link baud rate at start and after a reboot\n"
          "(default 9600); the socket of --camlink-port expects\n"
          "it until SET_CL_BAUDRATE (9600, 19200, 38400, 57600,\n"
          "115200, 230400, 460800 or 921600) changes it, once\n"
          "its reply has gone out at the old rate",
          [&o](const std::string& t) { return toField(t, 0xFFFFFFFF, o.clBaud); });
    value("--debug-text", "N",
          "N debug text telegrams before each reply until\n"
          "\"verbose 0\\r\" (default 0; on again after a reboot)",
          [&o](const std::string& t) { return toField(t, 1000, o.debugText); });
    value("--pace", "BAUD",
          "act like a BAUD 8N1 line (ten bits a byte) both ways:\n"
          "replies leave at that pace, and a command is acted on\n"
          "only once all its bytes would have arrived",
          [&o](const std::string& t) { return toField(t, 100000000, o.paceBaud); });
    flag("--pace-report",
         "on exit, print on stderr the bytes each paced line\n"
         "sent, the time they took and their wire time",
         [&o] { o.paceReport = true; });
    value("--camlink-port", "N",
          "also serve the camera's Camera Link serial line on\n"
          "127.0.0.1:N (0: any free port) for libclsersim;\n"
          "prints \"camlink 127.0.0.1:PORT\" as a second line.\n"
          "One client at a time: a new one replaces the old.\n"
          "Paced (--pace), its line time follows the Camera Link\n"
          "rate in force instead of BAUD",
          [&o](const std::string& t) { return toField(t, 65535, o.camlinkPort); });
    value("--state", "DIR", "keep the device contents in DIR (see below)",
          notEmpty(o.stateDir));
    app.add_option_function<std::string>(
           "--fault",
           [&o](const std::string& text) {
               std::string error;
               if (!addFault(text, o.faults, error))
                   throw CLI::ValidationError(error, CLI::ExitCodes::ValidationError);
           },
           "inject a fault (repeatable; see below)")
        ->type_name("FAULT")
        ->trigger_on_parse();
    value("--replay", "FILE",
          "answer as the camera of a recording (kelvoflash-cli\n"
          "--record; .jsonl or .jsonl.gz) did, on the port and\n"
          "the Camera Link socket alike; the first request that\n"
          "differs is reported and nothing is answered after it",
          notEmpty(o.replayPath));
    flag("--replay-fast", "with --replay: answer at once, not after the recorded delay",
         [&o] { o.replayFast = true; });
    flag("--ignore-stdin",
         "keep running when stdin closes (for background use;\n"
         "then only SIGTERM or SIGINT end camsim)",
         [&o] { o.watchStdin = false; });
}

// The text after the options: the devices, the state folder, the faults and the exit status.
std::string footerText() {
    return std::string(
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
               "sets. One camsim at a time uses a state folder or a --link path; a second one\n"
               "is refused.\n"
               "\n") +
           kFaultHelp +
           "\n"
           "Exit status: 0 after a stop signal or the end of stdin, 1 when camsim could not\n"
           "start or save its state, 2 for wrong options, 3 when another camsim uses the\n"
           "state folder or the --link path. With --replay: 0 only when the replay ran to\n"
           "its end, 4 when a request differed from the recording, 5 when it stopped before\n"
           "its end.\n";
}

constexpr const char* kDescription =
    "camsim: a virtual camera on a pseudo terminal\n"
    "\n"
    "Prints the path of the serial port (the pty slave) as the first line on stdout\n"
    "and answers command telegrams there like the camera. Ends on SIGTERM, SIGINT or\n"
    "when its standard input reaches end of file (see --ignore-stdin).\n";

}  // namespace

bool parseOptions(const std::vector<std::string>& args, SimOptions& o, std::string& error) {
    CLI::App app{kDescription, "camsim"};
    std::vector<HardwareRecord> hardware;
    describeOptions(app, o, hardware);
    try {
        // CLI11 takes the arguments last first.
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        o.help = true;
        return true;
    } catch (const CLI::CallForVersion&) {
        o.version = true;
        return true;
    } catch (const CLI::ValidationError& e) {
        error = e.what();
        return false;
    } catch (const CLI::ParseError& e) {
        error = std::string(e.what()) + " (see --help)";
        return false;
    }
    if (hardware.size() > size_t(kMaxHardwareRecords)) {
        error = "at most 10 --hardware records fit a reply";
        return false;
    }
    o.hardware = hardware.empty() ? std::vector<HardwareRecord>{{"KM4MAIN", 13, 1}} : hardware;
    return true;
}

std::string helpText() {
    CLI::App app{kDescription, "camsim"};
    SimOptions scratch;
    std::vector<HardwareRecord> hardware;
    describeOptions(app, scratch, hardware);
    app.footer(footerText());
    return app.help();
}

}  // namespace sim

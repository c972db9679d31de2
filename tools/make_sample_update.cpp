// make-sample-update: writes an update file with sample images for the camera's devices, for
// demos and tests against camsim.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "programmer/files/file_io.h"
#include "tools/sample_update.h"

namespace {

const char* const kUsage =
    "usage: make-sample-update OUT.qup --version MAJ.MIN --variant N [--devices LIST] [--small]\n"
    "  --version MAJ.MIN  firmware version of every image (e.g. 3.02)\n"
    "  --variant N        variant number of every image (0-65535)\n"
    "  --devices LIST     device rows to include, comma separated (default 0,1,2,3,4:\n"
    "                     0 Main uP, 1 Main FPGA, 2 EEPROM, 3 PLL, 4 Head FPGA)\n"
    "  --small            small FPGA images and little Main uP code, for quick demos\n";

bool parseNumber(const char* text, long max, long& value) {
    char* end = nullptr;
    value = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && value >= 0 && value <= max;
}

bool parseVersion(const std::string& text, tools::SampleSettings& sample) {
    const size_t dot = text.find('.');
    if (dot == std::string::npos)
        return false;
    long major = 0, minor = 0;
    if (!parseNumber(text.substr(0, dot).c_str(), 255, major) ||
        !parseNumber(text.substr(dot + 1).c_str(), 255, minor))
        return false;
    sample.versionMajor = int(major);
    sample.versionMinor = int(minor);
    return true;
}

bool parseDevices(const std::string& text, tools::SampleSettings& sample) {
    sample.devices.fill(false);
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = std::min(text.find(',', start), text.size());
        long row = 0;
        if (!parseNumber(text.substr(start, comma - start).c_str(), files::kDeviceCount - 1, row))
            return false;
        sample.devices[size_t(row)] = true;
        start = comma + 1;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    tools::SampleSettings sample;
    std::string out;
    bool haveVersion = false, haveVariant = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        long value = 0;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--version" && hasValue) {
            if (!parseVersion(argv[++i], sample)) {
                std::fprintf(stderr, "make-sample-update: bad version '%s'\n", argv[i]);
                return 2;
            }
            haveVersion = true;
        } else if (arg == "--variant" && hasValue) {
            if (!parseNumber(argv[++i], 0xFFFF, value)) {
                std::fprintf(stderr, "make-sample-update: bad variant '%s'\n", argv[i]);
                return 2;
            }
            sample.variant = uint16_t(value);
            haveVariant = true;
        } else if (arg == "--devices" && hasValue) {
            if (!parseDevices(argv[++i], sample)) {
                std::fprintf(stderr, "make-sample-update: bad device list '%s'\n", argv[i]);
                return 2;
            }
        } else if (arg == "--small") {
            sample.mainUpCodeBytes = 16 * 1024;
            sample.mainFpgaBytes = 96 * 1024;
            sample.headFpgaBytes = 64 * 1024;
        } else if (out.empty() && !arg.empty() && arg[0] != '-') {
            out = arg;
        } else {
            std::fprintf(stderr, "make-sample-update: unexpected argument '%s'\n%s", arg.c_str(),
                         kUsage);
            return 2;
        }
    }
    if (out.empty() || !haveVersion || !haveVariant) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    std::vector<uint8_t> bytes;
    if (const protocol::ErrorCode result = tools::buildSampleUpdateFile(sample, bytes)) {
        std::fprintf(stderr, "make-sample-update: cannot build the file, error 0x%08X\n", result);
        return 1;
    }
    if (const int error = files::writeFileSafely(out, bytes)) {
        std::fprintf(stderr, "make-sample-update: cannot write %s: %s\n", out.c_str(),
                     std::strerror(error));
        return 1;
    }
    std::printf("%s: %zu bytes, version %d.%02d, variant %u\n", out.c_str(), bytes.size(),
                sample.versionMajor, sample.versionMinor, unsigned(sample.variant));
    return 0;
}

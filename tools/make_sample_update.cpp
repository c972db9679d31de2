// make-sample-update: writes an update file with sample images for the camera's devices, for
// demos and tests against camsim.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

#include "programmer/files/file_io.h"
#include "project_version.h"
#include "tools/sample_update.h"

namespace {

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
    // Alone, --version asks for this program's version; with a file it is the images' version.
    if (argc == 2 && std::string_view(argv[1]) == "--version") {
        std::printf("make-sample-update %s\n", KF_PROJECT_VERSION);
        return 0;
    }
    CLI::App app{"make-sample-update: writes an update file with sample images for the camera's\n"
                 "devices, for demos and tests against camsim",
                 "make-sample-update"};
    app.set_help_flag("-h,--help", "print this help and exit");
    std::string out, version, variant, devices;
    bool small = false;
    app.add_option("OUT.qup", out, "the update file to write")->required()->type_name("");
    app.add_option("--version", version,
                   "firmware version of every image (e.g. 3.02); alone, prints\n"
                   "this program's version")
        ->required()
        ->type_name("MAJ.MIN");
    app.add_option("--variant", variant, "variant number of every image (0-65535)")
        ->required()
        ->type_name("N");
    const CLI::Option* devicesOption = app.add_option("--devices", devices,
                   "device rows to include, comma separated (default 0,1,2,3,4:\n"
                   "0 Main uP, 1 Main FPGA, 2 EEPROM, 3 PLL, 4 Head FPGA)")
        ->type_name("LIST");
    app.add_flag("--small", small, "small FPGA images and little Main uP code, for quick demos");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    }

    tools::SampleSettings sample;
    long value = 0;
    if (!parseVersion(version, sample)) {
        std::fprintf(stderr, "make-sample-update: bad version '%s'\n", version.c_str());
        return 2;
    }
    if (!parseNumber(variant.c_str(), 0xFFFF, value)) {
        std::fprintf(stderr, "make-sample-update: bad variant '%s'\n", variant.c_str());
        return 2;
    }
    sample.variant = uint16_t(value);
    if (devicesOption->count() > 0 && !parseDevices(devices, sample)) {
        std::fprintf(stderr, "make-sample-update: bad device list '%s'\n", devices.c_str());
        return 2;
    }
    if (small) {
        sample.mainUpCodeBytes = 16 * 1024;
        sample.mainFpgaBytes = 96 * 1024;
        sample.headFpgaBytes = 64 * 1024;
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

// kelvoflash-cli's connection options and device list: arguments split from the input at each
// newline, parsed like a camera command's; nothing accepted lies outside what the options allow.

#include <cstdlib>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "programmer/app/start_options.h"
#include "programmer/cli/connection_options.h"
#include "programmer/cli/devices.h"
#include "programmer/files/update_file_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    if (const auto rows = cli::deviceRowsOf(text)) {
        for (int row : *rows)
            if (row < 0 || row >= files::kDeviceCount) std::abort();
        if (rows->empty()) std::abort();
    }

    std::vector<std::string> args;
    size_t start = 0;
    while (start <= text.size() && args.size() < 16) {
        const size_t end = std::min(text.find('\n', start), text.size());
        args.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    std::vector<const char*> argv = {"info"};
    for (const std::string& arg : args) argv.push_back(arg.c_str());

    CLI::App command("info");
    cli::ConnectionOptions options;
    cli::addConnectionOptions(command, options);
    try {
        command.parse(int(argv.size()), argv.data());
    } catch (const CLI::ParseError&) {
        return 0;
    }
    app::StartOptions startOptions;
    std::string device, error;
    if (cli::applyConnectionOptions(options, startOptions, device, error)) {
        if (startOptions.portNumber < 0 || startOptions.portNumber > 8) std::abort();
        if (options.interface != "com" && options.interface != "camlink") std::abort();
    } else if (error.empty()) {
        std::abort();
    }
    return 0;
}

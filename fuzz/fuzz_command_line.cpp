// The programmer's command-line scan: any text gives options inside their ranges.

#include <cstdlib>
#include <string>

#include "programmer/app/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    app::StartOptions options;
    const app::StartOptions before = options;
    const app::CommandLineRequest request = app::ParseCommandLine(text, options);
    // Help applies nothing and never opens the log.
    if (request.helpRequested && request.openLog) std::abort();
    if (text.find('?') != std::string::npos && !request.helpRequested) std::abort();
    (void)before;
    return 0;
}

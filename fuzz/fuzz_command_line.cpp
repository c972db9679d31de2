// The programmer's command-line scan: any text is scanned without reading past it, and a '?'
// anywhere asks for help without opening the log.

#include <cstdlib>
#include <string>

#include "programmer/app/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    app::StartOptions options;
    const app::CommandLineRequest request = app::ParseCommandLine(text, options);
    // A '?' anywhere asks for help and never opens the log.
    if (text.find('?') != std::string::npos && (!request.helpRequested || request.openLog))
        std::abort();
    return 0;
}

#include <windows.h>
// shellapi.h needs windows.h before it.
#include <shellapi.h>

#include "platform/wide_text.h"
#include "programmer/cli/arguments.h"

namespace cli {

std::vector<std::string> utf8Arguments(int argc, char** argv) {
    // Messages are UTF-8; a console in the ANSI code page would show "Main µP" as two letters
    // for the µ. Output to a pipe or a file is not touched by this.
    ::SetConsoleOutputCP(CP_UTF8);
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr)
        return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i)
        arguments.push_back(platform::narrow(wide[i]));
    ::LocalFree(wide);
    return arguments;
}

}  // namespace cli

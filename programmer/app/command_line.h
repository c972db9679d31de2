#pragma once
// The option scan of the command line and the usage text.

#include <string>

#include "programmer/app/start_options.h"

namespace app {

struct CommandLineRequest {
    bool helpRequested = false;  // -H, or a '?' anywhere
    bool openLog = false;        // -L (never set when a '?' is present)
    std::string recordPath;      // -R<file>: record the camera exchanges there
};

// The arguments after the program name joined by single blanks: the text the scan reads.
std::string ArgumentsAfterProgramName(int argc, const char* const* argv);
// The same text from a Windows command line (program path, quoted or not, then the arguments):
// what follows the first "exe" and the one character after it. A line without "exe" (the
// program started under another name) loses its first blank-separated token instead.
std::string ArgumentsAfterExe(const std::string& commandLine);

// Scans `arguments` and overwrites the options it names. A '?' anywhere requests help and applies
// nothing. Options are '-' plus a letter (any case) and need no separator: -L-E works.
CommandLineRequest ParseCommandLine(const std::string& arguments, StartOptions& options);

std::string UsageText();
constexpr const char* kUsageCaption = "qel.programmer Information";

}  // namespace app

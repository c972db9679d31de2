#pragma once
// The program's arguments as UTF-8 texts, and a console that shows UTF-8 output.

#include <string>
#include <vector>

namespace cli {

// The arguments after the program name's, each as UTF-8, element 0 the program itself. On
// Windows they come from the UTF-16 command line, since `argv` there holds only what the ANSI
// code page can spell; there the console is also switched to UTF-8 output.
std::vector<std::string> utf8Arguments(int argc, char** argv);

}  // namespace cli

#include "programmer/cli/arguments.h"

namespace cli {

// Linux passes the bytes as they were typed; the programs' texts are UTF-8 already.
std::vector<std::string> utf8Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

}  // namespace cli

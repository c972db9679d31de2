#pragma once
// Runs kelvoflash-cli as a program, with standard input not a terminal, and keeps its output,
// its messages and its exit status.

#include <string>

namespace clitest {

struct CliRun {
    int status = -1;
    std::string out;  // standard output
    std::string err;  // standard error: the messages
};

// `arguments` are appended to the program path as they stand (shell syntax); `environment` is
// put in front (e.g. "QEL_COM1=/dev/pts/3").
CliRun runCli(const std::string& arguments, const std::string& environment = "");

inline bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace clitest

#pragma once
// Runs kelvoflash-cli with standard input not a terminal; keeps its output, messages and status.

#include <sys/types.h>

#include <string>

namespace clitest {

struct CliRun {
    int status = -1;
    std::string out, err;
};

// Starts kelvoflash-cli with `arguments` in shell syntax (`environment` put in front, e.g.
// "QEL_COM1=/dev/pts/3"), its messages into `errPath` and its output into `outPath`, or into a
// pipe nobody reads when that is empty. Without an environment the pid is the program's own.
pid_t startCli(const std::string& arguments, const std::string& outPath,
               const std::string& errPath, const std::string& environment = "");
// Waits for the program to end: its status and what it wrote.
CliRun finishCli(pid_t pid, const std::string& outPath, const std::string& errPath);
CliRun runCli(const std::string& arguments, const std::string& environment = "");

inline bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace clitest

#pragma once
// Runs kelvoflash-cli with standard input not a terminal; keeps its output, messages and status.

#include <string>

namespace clitest {

struct CliRun {
    int status = -1;
    std::string out, err;
};

// `arguments` in shell syntax; `environment` is put in front (e.g. "QEL_COM1=/dev/pts/3").
CliRun runCli(const std::string& arguments, const std::string& environment = "");

// The file's bytes; empty when it cannot be read.
std::string readAll(const std::string& path);

inline bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace clitest

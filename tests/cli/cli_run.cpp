#include "cli_run.h"

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>

namespace clitest {

CliRun runCli(const std::string& arguments, const std::string& environment) {
    char errPath[] = "/tmp/cli_err_XXXXXX";
    close(mkstemp(errPath));
    const std::string command = environment + " " + std::string(KF_BINARY_DIR) +
                                "/bin/kelvoflash-cli " + arguments + " </dev/null 2>" + errPath;
    CliRun run;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t got;
        while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0)
            run.out.append(buffer, got);
        const int status = pclose(pipe);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::ifstream err(errPath);
    run.err.assign(std::istreambuf_iterator<char>(err), {});
    unlink(errPath);
    return run;
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace clitest

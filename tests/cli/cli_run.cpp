#include "cli_run.h"

#include <sys/wait.h>
#include <unistd.h>

#include "tests/tessiport/test_support.h"
#include "tools/temp_folder.h"

namespace clitest {

pid_t startCli(const std::string& arguments, const std::string& outPath,
               const std::string& errPath, const std::string& environment) {
    const std::string command = (environment.empty() ? "exec " : environment + " ") +
                                KF_BINARY_DIR + "/bin/kelvoflash-cli " + arguments +
                                " </dev/null 2>" + errPath +
                                (outPath.empty() ? "" : " >" + outPath);
    const pid_t pid = fork();
    if (pid == 0) {
        int ends[2];
        if (outPath.empty() && (pipe(ends) != 0 || dup2(ends[1], 1) < 0 || close(ends[0]) != 0))
            _exit(127);
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

CliRun finishCli(pid_t pid, const std::string& outPath, const std::string& errPath) {
    int status = 0;
    waitpid(pid, &status, 0);
    CliRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, libtest::readText(outPath),
               libtest::readText(errPath)};
    // Whether a run can hold off sleep depends on the machine's system bus, not on the run
    // (tests/app checks that line).
    const std::string noHold = "Sleep and shutdown are not held off while the camera is written: ";
    if (const size_t at = run.err.find(noHold); at != std::string::npos)
        run.err.erase(at, run.err.find('\n', at) + 1 - at);
    return run;
}

CliRun runCli(const std::string& arguments, const std::string& environment) {
    const tools::TempFolder folder;
    return finishCli(startCli(arguments, folder.path("out"), folder.path("err"), environment),
                     folder.path("out"), folder.path("err"));
}

}  // namespace clitest

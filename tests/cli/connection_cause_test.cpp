// The cause line kelvoflash-cli adds to "Cannot connect camera" for each way a port can fail,
// in its messages, in --json and in prog_log.txt; and a --log that cannot open its file.
// Without a camera, info says so on standard output and in --json.

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>

#include "cli_run.h"
#include "tests/tessiport/test_support.h"
#include "tools/temp_folder.h"

namespace {

using clitest::contains;
using clitest::runCli;
using nlohmann::json;

constexpr const char* kCannot = "Cannot connect camera\nChange parameters and try again\n";
// Runs the command as nobody: a child that drops root's rights before it starts the program.
constexpr const char* kAsNobody = "setpriv --reuid=65534 --regid=65534 --clear-groups";

TEST(ConnectionCause, EachFailureNamesItsCauseAndTheNextStep) {
    tools::TempFolder folder;
    std::ofstream(folder.path("file.bin")) << "x";
    // Pseudo terminals whose other end nobody answers; the test holds their masters.
    std::string silent, locked, guarded;
    std::vector<int> masters;
    for (std::string* path : {&silent, &locked, &guarded}) {
        masters.push_back(posix_openpt(O_RDWR | O_NOCTTY));
        ASSERT_TRUE(grantpt(masters.back()) == 0 && unlockpt(masters.back()) == 0);
        *path = ptsname(masters.back());
    }
    // The test holds the lock the programmer takes (not handed on to the programs it starts).
    const int lockedFd = open(locked.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_EQ(flock(lockedFd, LOCK_EX), 0);
    std::string holder;
    std::getline(std::ifstream("/proc/self/comm"), holder);
    // Owned by the group a serial port has on Debian, readable by nobody else.
    const group* dialout = getgrnam("dialout");
    ASSERT_NE(dialout, nullptr);
    ASSERT_EQ(chown(guarded.c_str(), 0, dialout->gr_gid), 0);
    ASSERT_EQ(chmod(guarded.c_str(), 0660), 0);
    const bool root = geteuid() == 0;

    const struct {
        std::string port, cause;
        std::string line;  // the whole line, or its start (ending in a blank) before a tail that
                           // depends on the machine
        std::string environment{};
    } cases[] = {
        {folder.path("ttyUSB9"), "missing",
         "Cause: " + folder.path("ttyUSB9") + " does not exist; "},
        {folder.path(), "directory",
         "Cause: " + folder.path() +
             " is a directory, not a serial device; give the device's path, e.g. /dev/ttyUSB0."},
        {folder.path("file.bin"), "not-serial",
         "Cause: " + folder.path("file.bin") +
             " is a regular file, not a serial device; give the device's path, e.g. /dev/ttyUSB0."},
        {"/dev/null", "not-serial",
         "Cause: /dev/null is a device but not a serial port; give the serial device's path."},
        {locked, "in-use",
         "Cause: " + locked + " is in use by process " + std::to_string(getpid()) + " (" + holder +
             "); end it or choose another port."},
        {silent, "no-answer",
         "Cause: no camera answered on " + silent +
             " at 57600 baud; check the cable, the camera's power and the port."},
        {guarded, "permission",
         "Cause: permission denied on " + guarded +
             " (crw-rw----, group dialout); join the group with \"sudo usermod -aG dialout $USER\" "
             "and log in again, or install the example udev rule "
             "/usr/share/doc/kelvoflash/examples/70-kelvoflash-serial.rules in /etc/udev/rules.d.",
         kAsNobody},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        if (!c.environment.empty() && !root) {
            GTEST_LOG_(INFO) << "skipped: dropping privileges needs root";
            continue;
        }
        // The log goes to the working folder: one that anybody may write to.
        tools::TempFolder logs;
        ASSERT_EQ(chmod(logs.path().c_str(), 0777), 0);
        const clitest::CliRun text =
            runCli("info --log --port " + c.port, "cd " + logs.path() + " && " + c.environment);
        EXPECT_EQ(text.status, 1);
        EXPECT_EQ(text.out, "Camera: not connected\n");
        const size_t at = text.err.find(kCannot);
        ASSERT_NE(at, std::string::npos) << text.err;
        const std::string line = text.err.substr(at + std::strlen(kCannot));
        const bool whole = c.line.back() != ' ';
        EXPECT_EQ(whole ? line : line.substr(0, c.line.size()), c.line + (whole ? "\n" : ""));
        const std::string log = libtest::readText(logs.path("prog_log.txt"));
        // A log line holds 197 characters.
        const std::string logged = c.line.substr(0, 197) + (whole ? "\r\nLogging ended " : "");
        EXPECT_TRUE(contains(log, "\r\n" + logged))
            << log;

        // Port 0 is the first COM port, found through QEL_COM1.
        const clitest::CliRun run =
            runCli("info --json --port 0", "QEL_COM1=" + c.port + " " + c.environment);
        EXPECT_EQ(run.status, 1);
        const json info = json::parse(run.out, nullptr, false);
        ASSERT_FALSE(info.is_discarded()) << run.out;
        EXPECT_FALSE(info["connected"].get<bool>());
        EXPECT_EQ(info["connectionCause"]["cause"], c.cause);
        EXPECT_EQ(info["connectionCause"]["text"].get<std::string>() + "\n", line);
    }
    for (int fd : masters) close(fd);
    close(lockedFd);
}

TEST(ConnectionCause, ALogThatCannotBeOpenedIsNamed) {
    tools::TempFolder taken, readOnly;
    ASSERT_EQ(mkdir(taken.path("prog_log.txt").c_str(), 0755), 0);
    ASSERT_EQ(chmod(readOnly.path().c_str(), 0755), 0);
    for (const auto& [folder, as, reason] :
         {std::tuple{taken.path(), "", "Is a directory (a folder has that name)"},
          {readOnly.path(), kAsNobody, "Permission denied"}}) {
        SCOPED_TRACE(folder);
        if (*as && geteuid() != 0) continue;  // dropping privileges needs root
        const clitest::CliRun run =
            runCli("info --log --port /dev/null", "cd " + folder + " && " + as);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err.substr(0, run.err.find('\n') + 1),
                  "Cannot log to " + folder + "/prog_log.txt: " + reason +
                      "; logging is off for this run.\n")
            << run.err;
    }
}

}  // namespace

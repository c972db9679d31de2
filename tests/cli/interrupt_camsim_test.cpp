// kelvoflash-cli program against camsim, in real time. Signals: the first one lets the device
// being written finish and the camera reboot, then the run stops; a second one stops at once and
// names the device left incomplete with the command that programs it again. Progress of program,
// backup and verify on a terminal of 40 columns that shrinks to 30 during the reboot, and into a
// closed pipe.

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>

#include <chrono>
#include <thread>

#include "cli_camera.h"

namespace {

using clitest::contains;
using clitest::readAll;

class InterruptCamsim : public clitest::CliCamera {
protected:
    // Starts kelvoflash-cli with its output in files; returns its pid.
    pid_t start(const std::string& arguments) {
        const std::string command = "exec " + std::string(KF_BINARY_DIR) + "/bin/kelvoflash-cli " +
                                    arguments + " </dev/null >" + files.path("out") + " 2>" +
                                    files.path("err");
        const pid_t pid = fork();
        if (pid == 0) {
            execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        return pid;
    }
    // Waits up to 60 s for `text` in the program's standard output.
    bool waitForOutput(const std::string& text) {
        for (int i = 0; i < 600; ++i) {
            if (contains(readAll(files.path("out")), text))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }
    int exitStatus(pid_t pid) {
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

TEST_F(InterruptCamsim, TheFirstSignalStopsOnceTheDeviceIsFinishedAndTheCameraRebooted) {
    ASSERT_TRUE(startCamsim());
    const std::string file = sample("new.qup", 1, 1);
    const pid_t cli = start("program --yes --devices eeprom,pll " + file + " " + port());
    ASSERT_TRUE(waitForOutput("EEPROM: writing")) << readAll(files.path("out"));
    kill(cli, SIGINT);
    EXPECT_EQ(exitStatus(cli), 130);
    const std::string out = readAll(files.path("out")), err = readAll(files.path("err"));
    // A small EEPROM may be written before the signal lands: then it is finished already.
    EXPECT_TRUE(contains(err,
                         "\nInterrupted: EEPROM is being written; stopping now would leave "
                         "it incomplete. The run stops once EEPROM is finished and the "
                         "camera has rebooted. Press Ctrl-C again to stop at once.\n") ||
                contains(err,
                         "\nInterrupted: EEPROM is finished; the run stops once the "
                         "camera has rebooted. Press Ctrl-C again to stop at once.\n"))
        << err;
    EXPECT_TRUE(contains(out, "EEPROM: done\nEEPROM: rebooting the camera (about 16 s)\n")) << out;
    EXPECT_FALSE(contains(out, "PLL: started")) << out;
    EXPECT_TRUE(contains(out, "  PLL: NOT PROGRAMMED, the run was stopped before it")) << out;
    EXPECT_TRUE(contains(out,
                         "To program the devices the stopped run did not reach: "
                         "kelvoflash-cli program " +
                             file + " " + port() + " --devices pll\n"))
        << out;
    EXPECT_TRUE(contains(err, "Interrupted by SIGINT: stopped at a safe point")) << err;

    // The camera, read again after its reboot, reports the file's version for the EEPROM.
    EXPECT_TRUE(contains(out, "  EEPROM: written, not read back, the camera reports 004 V01.01\n"))
        << out;
}

TEST_F(InterruptCamsim, ASecondSignalStopsAtOnceAndNamesTheIncompleteDevice) {
    ASSERT_TRUE(startCamsim());
    const std::string file = sample("new.qup", 1, 1);
    // The Main uP's image is the largest and read back block by block: it is still being written
    // when both signals land.
    const pid_t cli = start("program --yes --json --devices main-up " + file + " " + port());
    ASSERT_TRUE(waitForOutput("\"phase\":\"write\"")) << readAll(files.path("out"));
    kill(cli, SIGTERM);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    kill(cli, SIGTERM);
    EXPECT_EQ(exitStatus(cli), 143);
    const std::string command =
        "kelvoflash-cli program " + file + " " + port() + " --devices main-up";
    const std::string err = readAll(files.path("err")), out = readAll(files.path("out"));
    EXPECT_TRUE(contains(err,
                         "\nStopped at once: Main \u00b5P is INCOMPLETE and must be programmed "
                         "again: " +
                             command + "\n"))
        << err;
    EXPECT_TRUE(contains(out, "{\"command\":\"" + command +
                                  "\",\"event\":\"interrupted\",\"immediate\":true,"
                                  "\"incomplete\":\"Main \u00b5P\"}\n"))
        << out;
    EXPECT_FALSE(contains(out, "\"event\":\"summary\""));
}

// Reading changes no flash: what the stop costs is the backup file, written only when complete.
TEST_F(InterruptCamsim, ABackupStoppedByASignalWritesNoFile) {
    ASSERT_TRUE(startCamsim());
    const std::string backup = files.path("backup.qup");
    const pid_t cli = start("backup " + backup + " --devices pll,head-fpga " + port());
    ASSERT_TRUE(waitForOutput("PLL: reading")) << readAll(files.path("out"));
    kill(cli, SIGINT);
    EXPECT_EQ(exitStatus(cli), 130);
    const std::string out = readAll(files.path("out")), err = readAll(files.path("err"));
    const std::string noFile = "no backup is written and " + backup +
                               " stays as it was. Press Ctrl-C again to stop at once.\n";
    EXPECT_TRUE(
        contains(err,
                 "\nInterrupted: PLL is being read; the backup stops once it is read "
                 "and the camera has rebooted; " +
                     noFile) ||
        contains(err, "\nInterrupted: the backup stops once the camera has rebooted; " + noFile))
        << err;
    EXPECT_TRUE(contains(err,
                         "Interrupted by SIGINT: stopped at a safe point, the last device "
                         "read was finished and the camera rebooted.\n"))
        << err;
    EXPECT_TRUE(contains(out, "  Head FPGA: NOT READ\n")) << out;
    EXPECT_TRUE(contains(out, "No backup written; ")) << out;
    EXPECT_NE(access(backup.c_str(), F_OK), 0);
}

// The redrawn pieces of a terminal's output ("\r\033[K" starts each), with their widths in
// characters.
// Plain lines (the plan, the summary) are not redrawn and are left out.
std::vector<std::pair<std::string, size_t>> pieces(const std::string& text) {
    std::vector<std::pair<std::string, size_t>> found(1);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (found.back().first.rfind("\033[K", 0) != 0)
                found.back() = {};
            found.emplace_back();
        } else if (text.compare(i, 3, "\033[K") == 0) {
            if (found.back().first.empty())
                found.back().first = "\033[K";
            i += 2;
        } else {
            found.back().first += text[i];
            found.back().second += (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
        }
    }
    if (found.back().first.rfind("\033[K", 0) != 0)
        found.back() = {};
    return found;
}

// Every command that reads or writes a device draws its bars within the terminal's width.
TEST_F(InterruptCamsim, BarsFitANarrowTerminalAndFollowItsResize) {
    ASSERT_TRUE(startCamsim());
    const std::string file = sample("new.qup", 1, 1);
    const std::string backup = files.path("pll.qup");
    for (const std::string& arguments :
         {"program --yes --devices pll " + file, "backup --yes --devices pll " + backup,
          "verify " + backup}) {
        SCOPED_TRACE(arguments);
        winsize size{};
        size.ws_col = 40;
        size.ws_row = 24;
        int master = -1;
        const std::string command = "exec " + std::string(KF_BINARY_DIR) + "/bin/kelvoflash-cli " +
                                    arguments + " " + port() + " 2>/dev/null";
        const pid_t cli = forkpty(&master, nullptr, nullptr, &size);
        if (cli == 0) {
            execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        std::string before, after;
        bool resized = false;
        for (;;) {
            pollfd entry{master, POLLIN, 0};
            if (poll(&entry, 1, 60000) <= 0)
                break;
            char buffer[4096];
            const ssize_t got = read(master, buffer, sizeof buffer);
            if (got <= 0)
                break;
            (resized ? after : before).append(buffer, size_t(got));
            if (!resized && contains(before, "Waiting for Camera boot")) {
                size.ws_col = 30;
                ioctl(master, TIOCSWINSZ, &size);
                resized = true;
            }
        }
        EXPECT_EQ(exitStatus(cli), 0);
        close(master);
        EXPECT_TRUE(contains(before, "PLL")) << before;
        for (const auto& [piece, width] : pieces(before))
            EXPECT_LE(width, 39u) << piece;
        ASSERT_TRUE(resized) << before;
        // The reboot wait, redrawn at the new width (the first piece may have been drawn just
        // before the resize).
        int countdowns = 0;
        for (const auto& [piece, width] : pieces(after)) {
            EXPECT_LE(width, 39u) << piece;
            if (!contains(piece, "Waiting for"))
                continue;
            if (countdowns++ > 0) {
                EXPECT_LE(width, 29u) << piece;
            }
        }
        EXPECT_GT(countdowns, 3) << after;
    }
}

TEST_F(InterruptCamsim, AClosedStandardOutputStopsTheProgressButNotTheRun) {
    ASSERT_TRUE(startCamsim());
    const std::string file = sample("new.qup", 1, 1);
    // `true` ends at once: every line of progress goes into a closed pipe.
    const std::string command = std::string(KF_BINARY_DIR) +
                                "/bin/kelvoflash-cli program --yes "
                                "--devices pll " +
                                file + " " + port() +
                                " 2>/dev/null | true; "
                                "echo ${PIPESTATUS[0]} >" +
                                files.path("status");
    ASSERT_EQ(system(("bash -c '" + command + "'").c_str()), 0);
    EXPECT_EQ(readAll(files.path("status")), "0\n");
    const clitest::CliRun info = clitest::runCli("info " + port());
    EXPECT_TRUE(contains(info.out, "004 V01.01")) << info.out;
}

}  // namespace

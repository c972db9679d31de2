// kelvoflash-cli ports on made-up /dev and /sys trees: a machine with pseudo terminals only, and
// one with a UART, an empty UART slot and a USB adapter with its by-id name.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli_run.h"
#include "tools/temp_folder.h"

namespace {

using clitest::contains;
using clitest::runCli;

TEST(Ports, ListsWhatTheMachineHas) {
    tools::TempFolder ptysOnly, usb, libraries;
    // /sys/class/tty/NAME with a device (and a `type` for UARTs) and /dev/NAME, built by a shell.
    auto build = [](const tools::TempFolder& root, const std::string& commands) {
        ASSERT_EQ(system(("cd " + root.path() + " && " + commands).c_str()), 0) << commands;
    };
    build(ptysOnly, "mkdir -p dev/pts sys/class/tty/tty0 && touch dev/pts/3 dev/pts/ptmx");
    const std::string uart = "sys/devices/platform/serial8250/tty/",
                      adapter = "sys/devices/pci0/usb1/1-2";
    build(usb, "mkdir -p dev/serial/by-id sys/class/tty/ttyS0 sys/class/tty/ttyS1 "
               "sys/class/tty/ttyUSB0 " + uart + "ttyS0 " + uart + "ttyS1 " + adapter +
               "/1-2:1.0/ttyUSB0 && touch dev/ttyS0 dev/ttyS1 dev/ttyUSB0 && "
               "ln -s $PWD/" + uart + "ttyS0 sys/class/tty/ttyS0/device && "
               "ln -s $PWD/" + uart + "ttyS1 sys/class/tty/ttyS1/device && "
               "ln -s $PWD/" + adapter + "/1-2:1.0/ttyUSB0 sys/class/tty/ttyUSB0/device && "
               // ttyS1's slot has no UART.
               "echo 4 >sys/class/tty/ttyS0/type && echo 0 >sys/class/tty/ttyS1/type && "
               "cd " + adapter + " && echo 0403 >idVendor && echo 6001 >idProduct && "
               "echo A10K1234 >serial && echo Maker >manufacturer && echo 'USB Serial' >product");
    const std::string byId = usb.path("dev/serial/by-id/usb-Maker_USB_Serial_A10K1234-if00");
    ASSERT_EQ(symlink("../../ttyUSB0", byId.c_str()), 0);
    build(libraries, "touch libclserfake.so");

    // The library's own folder holds the simulated grabbers: some library is always found.
    const std::string found = "Camera Link serial libraries (--interface camlink --grabber "
                              "NAME):\n";
    const std::string fake = "  " + libraries.path() + "/libclserfake.so  --grabber clserfake\n";
    struct Case {
        const tools::TempFolder& root;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {ptysOnly,
         {"No serial device with hardware behind it is present: this machine has pseudo "
          "terminals only (1 open). A simulated camera's terminal is chosen with --port PATH, "
          "e.g. --port /dev/pts/3.\n--port N opens $QEL_COM<N+1> when it is set, else "
          "/dev/ttyS<N>.\n",
          found, fake}},
        {usb,
         {"Serial devices:\n  " + usb.path("dev/ttyS0") + "  selected by --port " +
              usb.path("dev/ttyS0") + "\n  " + usb.path("dev/ttyUSB0") + "  selected by --port " +
              usb.path("dev/ttyUSB0") +
              " or --port 0\n      USB 0403:6001 Maker USB Serial, "
              "serial number A10K1234\n      " +
              byId + " -> " + usb.path("dev/ttyUSB0") + "\n",
          found, fake}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.root.path());
        const clitest::CliRun run =
            runCli("ports", "KELVOFLASH_DEV_ROOT=" + c.root.path("dev") + " KELVOFLASH_SYS_ROOT=" +
                                c.root.path("sys") + " QEL_COM1=" + usb.path("dev/ttyUSB0") +
                                " CLSERIALPATH=" + libraries.path() +
                                " TESSIPORT_SYSTEM_DIR=" + libraries.path());
        EXPECT_EQ(run.status, 0) << run.err;
        for (const std::string& line : c.lines)
            EXPECT_TRUE(contains(run.out, line)) << run.out;
        EXPECT_FALSE(contains(run.out, "ttyS1"));
    }
}

}  // namespace

// kelvoflash-cli ports on made-up /dev and /sys trees: a machine with pseudo terminals only, and
// one with a UART, an empty UART slot and a USB adapter with its by-id name.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "cli_run.h"
#include "tools/temp_folder.h"

namespace {

using clitest::contains;
using clitest::runCli;

void write(const std::string& path, const std::string& text) {
    std::ofstream(path) << text << "\n";
}

// /sys/class/tty/NAME with a device (and a `type` for UARTs), and /dev/NAME.
void addTty(const tools::TempFolder& root, const std::string& name, const std::string& device,
            const char* type) {
    const std::string sys = root.path("sys/class/tty/" + name);
    ASSERT_EQ(
        system(("mkdir -p " + sys + " " + root.path(device) + " " + root.path("dev")).c_str()), 0);
    ASSERT_EQ(symlink(root.path(device).c_str(), (sys + "/device").c_str()), 0);
    if (type != nullptr)
        write(sys + "/type", type);
    write(root.path("dev/" + name), "");
}

TEST(Ports, ListsWhatTheMachineHas) {
    tools::TempFolder ptysOnly, usb, libraries;
    ASSERT_EQ(
        system(("mkdir -p " + ptysOnly.path("dev/pts") + " " + ptysOnly.path("sys/class/tty/tty0"))
                   .c_str()),
        0);
    write(ptysOnly.path("dev/pts/3"), "");
    write(ptysOnly.path("dev/pts/ptmx"), "");

    addTty(usb, "ttyS0", "sys/devices/platform/serial8250/tty/ttyS0", "4");
    addTty(usb, "ttyS1", "sys/devices/platform/serial8250/tty/ttyS1", "0");  // no UART
    const std::string adapter = "sys/devices/pci0/usb1/1-2";
    addTty(usb, "ttyUSB0", adapter + "/1-2:1.0/ttyUSB0", nullptr);
    for (const auto& [file, value] : {std::pair{"idVendor", "0403"},
                                      {"idProduct", "6001"},
                                      {"serial", "A10K1234"},
                                      {"manufacturer", "Maker"},
                                      {"product", "USB Serial"}})
        write(usb.path(adapter + "/" + file), value);
    ASSERT_EQ(system(("mkdir -p " + usb.path("dev/serial/by-id")).c_str()), 0);
    const std::string byId = usb.path("dev/serial/by-id/usb-Maker_USB_Serial_A10K1234-if00");
    ASSERT_EQ(symlink("../../ttyUSB0", byId.c_str()), 0);
    write(libraries.path("libclserfake.so"), "");

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

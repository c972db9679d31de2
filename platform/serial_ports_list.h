#pragma once
// The serial devices of this machine as the kernel lists them under /sys/class/tty: those with
// hardware behind them (a UART of a known type, a USB adapter), their /dev/serial/by-id names,
// and what the USB device says of itself. Pseudo terminals are counted apart.

#include <string>
#include <vector>

namespace platform {

struct SerialDevice {
    std::string path;               // /dev/ttyUSB0
    std::vector<std::string> byId;  // /dev/serial/by-id/usb-..., pointing at `path`
    std::string driver;             // e.g. ftdi_sio, serial8250
    // From the USB device above the tty, empty where there is none.
    std::string usbVendor, usbProduct, usbSerial, manufacturer, product;
};

// The folders looked at; tests give a tree of their own.
struct SerialRoots {
    std::string dev = "/dev";
    std::string sys = "/sys";
};

// Sorted by path.
std::vector<SerialDevice> listSerialDevices(const SerialRoots& roots = {});
// The number of pseudo terminals open now (entries of /dev/pts other than ptmx).
int countPseudoTerminals(const SerialRoots& roots = {});

}  // namespace platform

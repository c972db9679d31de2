#pragma once
// The serial port of the system being built, behind SerialLine, and the device of a COM port
// number.

#include <memory>
#include <string>

#include "platform/serial_line.h"

namespace platform {

// A closed serial port of this system.
std::unique_ptr<SerialLine> makeSerialPort();

// The device of the 1-based port number n: on Linux $QEL_COM<n> if set, else /dev/ttyS<n-1>; on
// Windows "\\.\COM<n>".
std::string comPortPath(int portNumber);

// Makes port number n lead to `device` (a pseudo terminal of a simulated camera) for this process
// and the programs it starts: on Linux by $QEL_COM<n>. 0 or an errno value; Windows names its
// ports itself (ENOTSUP).
int useDeviceForComPort(int portNumber, const std::string& device);

// One name for every path of a serial device (links followed; Windows: "COM3" for "\\.\com3"),
// so that two paths of one device compare equal. A path that does not resolve stays as it is.
std::string canonicalDevicePath(const std::string& path);

}  // namespace platform

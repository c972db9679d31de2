#include <windows.h>

#include <algorithm>

#include "platform/serial_ports_list.h"

namespace platform {

namespace {
constexpr const char* kSerialCommKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
}

// The ports Windows lists under SERIALCOMM: each value is named after the driver's device
// ("\Device\Serial0") and holds the port's name ("COM1"). The roots are a Linux matter.
std::vector<SerialDevice> listSerialDevices(const SerialRoots&) {
    std::vector<SerialDevice> devices;
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSerialCommKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return devices;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD nameLength = sizeof name;
        BYTE data[256];
        DWORD dataLength = sizeof data - 1;
        DWORD type = 0;
        const LONG result =
            ::RegEnumValueA(key, index, name, &nameLength, nullptr, &type, data, &dataLength);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        if (result != ERROR_SUCCESS || type != REG_SZ)
            continue;
        data[dataLength] = 0;
        SerialDevice device;
        device.path = reinterpret_cast<const char*>(data);
        device.driver.assign(name, nameLength);
        if (!device.path.empty())
            devices.push_back(device);
    }
    ::RegCloseKey(key);
    std::sort(devices.begin(), devices.end(),
              [](const SerialDevice& a, const SerialDevice& b) { return a.path < b.path; });
    return devices;
}

// Windows has no pseudo terminals to count.
int countPseudoTerminals(const SerialRoots&) {
    return 0;
}

}  // namespace platform

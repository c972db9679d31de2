#include "platform/serial_ports_list.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

namespace platform {

namespace {

std::vector<std::string> entries(const std::string& dir) {
    std::vector<std::string> names;
    DIR* folder = ::opendir(dir.c_str());
    if (folder == nullptr)
        return names;
    while (const dirent* item = ::readdir(folder))
        if (item->d_name[0] != '.')
            names.push_back(item->d_name);
    ::closedir(folder);
    std::sort(names.begin(), names.end());
    return names;
}

std::string firstLine(const std::string& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

bool exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

std::string resolved(const std::string& path) {
    char buffer[PATH_MAX];
    return ::realpath(path.c_str(), buffer) != nullptr ? std::string(buffer) : std::string();
}

std::string lastPart(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

// Walks up from the tty's device to the USB device, the first folder with an idVendor.
void readUsb(const std::string& deviceDir, const std::string& sysRoot, SerialDevice& device) {
    std::string dir = resolved(deviceDir);
    const std::string top = resolved(sysRoot);
    while (!dir.empty() && dir != top && dir.size() > top.size()) {
        if (exists(dir + "/idVendor")) {
            device.usbVendor = firstLine(dir + "/idVendor");
            device.usbProduct = firstLine(dir + "/idProduct");
            device.usbSerial = firstLine(dir + "/serial");
            device.manufacturer = firstLine(dir + "/manufacturer");
            device.product = firstLine(dir + "/product");
            return;
        }
        dir = dir.substr(0, dir.rfind('/'));
    }
}

}  // namespace

std::vector<SerialDevice> listSerialDevices(const SerialRoots& roots) {
    std::vector<SerialDevice> devices;
    const std::string classDir = roots.sys + "/class/tty";
    const std::string byIdDir = roots.dev + "/serial/by-id";
    for (const std::string& name : entries(classDir)) {
        const std::string entry = classDir + "/" + name;
        // Virtual terminals and pseudo terminals have no device behind them.
        if (!exists(entry + "/device"))
            continue;
        // A UART slot without hardware reports type 0 (unknown).
        if (exists(entry + "/type") && firstLine(entry + "/type") == "0")
            continue;
        SerialDevice device;
        device.path = roots.dev + "/" + name;
        if (!exists(device.path))
            continue;
        device.driver = lastPart(resolved(entry + "/device/driver"));
        // A UART's tty hangs below a device of the generic "port" driver, which tells nothing.
        if (device.driver == "port")
            device.driver.clear();
        readUsb(entry + "/device", roots.sys, device);
        for (const std::string& link : entries(byIdDir))
            if (lastPart(resolved(byIdDir + "/" + link)) == name)
                device.byId.push_back(byIdDir + "/" + link);
        devices.push_back(device);
    }
    return devices;
}

int countPseudoTerminals(const SerialRoots& roots) {
    int count = 0;
    for (const std::string& name : entries(roots.dev + "/pts"))
        count += name != "ptmx";
    return count;
}

}  // namespace platform

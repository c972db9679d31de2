// The ports command's scan on Linux: the serial devices under /dev and /sys, and the Camera Link
// serial libraries (libclser*.so) in the places the serial interface library searches.
#include "programmer/cli/ports_scan.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/dynamic_library.h"
#include "platform/serial_port.h"
#include "platform/serial_ports_list.h"
#include "tessiport/serial_places.h"

namespace cli {

namespace {

using nlohmann::json;

constexpr int kPortIndexMax = 8;

std::string realPath(const std::string& path) {
    char buffer[PATH_MAX];
    return ::realpath(path.c_str(), buffer) != nullptr ? std::string(buffer) : path;
}

// The --port index that reaches `path` now ($QEL_COM<n+1>, else /dev/ttyS<n>), -1 for none.
int portIndexOf(const std::string& path) {
    for (int index = 0; index <= kPortIndexMax; ++index)
        if (realPath(platform::comPortPath(index + 1)) == realPath(path))
            return index;
    return -1;
}

// The places the serial interface library searches; its own folder is where the programmer
// loads it from (the library beside the programs first, then the loader's search).
std::vector<std::string> libraryPlaces() {
    const tessiport::SerialPlaces places = tessiport::currentSerialPlaces();
    std::vector<std::string> dirs;
    if (!places.registryDir.empty())
        dirs.push_back(places.registryDir);
    dirs.push_back(places.systemDir);
    char program[PATH_MAX] = {};
    const ssize_t length = ::readlink("/proc/self/exe", program, sizeof program - 1);
    std::string beside;
    if (length > 0) {
        beside = std::string(program, size_t(length));
        beside = beside.substr(0, beside.rfind('/') + 1) + "../lib/libtessiport.so.1";
    }
    platform::DynamicLibrary library;
    if ((!beside.empty() && library.open(beside) == 0) || library.open("libtessiport.so.1") == 0) {
        Dl_info info{};
        if (void* symbol = library.symbol("Open_Cam");
            symbol != nullptr && ::dladdr(symbol, &info) != 0 && info.dli_fname != nullptr) {
            const std::string own = realPath(info.dli_fname);
            dirs.push_back(own.substr(0, own.rfind('/')));
        }
    }
    for (std::string& dir : dirs)
        while (dir.size() > 1 && dir.back() == '/')
            dir.pop_back();
    return dirs;
}

// "clsermy" for libclsermy.so: the name --grabber takes.
std::string grabberName(const std::string& file) {
    std::string name = file.substr(3);
    return name.substr(0, name.size() - 3);
}

}  // namespace

const char* const kSerialLibraryPattern = "libclser*.so";
const char* const kOtherLibraryFolder = "CLSERIALPATH names another folder";

json scanPorts() {
    platform::SerialRoots roots;
    if (const char* dev = std::getenv("KELVOFLASH_DEV_ROOT"))
        roots.dev = dev;
    if (const char* sys = std::getenv("KELVOFLASH_SYS_ROOT"))
        roots.sys = sys;
    json out;
    out["devices"] = json::array();
    for (const platform::SerialDevice& device : platform::listSerialDevices(roots)) {
        const int index = portIndexOf(device.path);
        json entry = {{"path", device.path},
                      {"byId", device.byId},
                      {"driver", device.driver},
                      {"portIndex", index < 0 ? json() : json(index)}};
        if (!device.usbVendor.empty())
            entry["usb"] = {{"vendor", device.usbVendor},
                            {"product", device.usbProduct},
                            {"serial", device.usbSerial},
                            {"manufacturer", device.manufacturer},
                            {"name", device.product}};
        out["devices"].push_back(entry);
    }
    out["pseudoTerminals"] = platform::countPseudoTerminals(roots);
    out["cameraLinkLibraries"] = json::array();
    out["libraryPlaces"] = libraryPlaces();
    for (const std::string& dir : out["libraryPlaces"].get<std::vector<std::string>>())
        for (const std::string& file : tessiport::findSerialLibraries(dir))
            out["cameraLinkLibraries"].push_back(
                {{"path", dir + "/" + file}, {"grabber", grabberName(file)}});
    return out;
}

void printSerialDevices(const json& info, std::ostream& out) {
    if (info["devices"].empty()) {
        out << "No serial device with hardware behind it is present: this machine has pseudo "
               "terminals only ("
            << info["pseudoTerminals"].get<int>()
            << " open). A simulated camera's terminal is chosen with --port PATH, e.g. "
               "--port /dev/pts/3.\n";
    } else {
        out << "Serial devices:\n";
        for (const json& device : info["devices"]) {
            const std::string path = device["path"];
            out << "  " << path << "  selected by --port " << path;
            if (!device["portIndex"].is_null())
                out << " or --port " << device["portIndex"].get<int>();
            out << "\n";
            if (!device["driver"].get<std::string>().empty())
                out << "      driver " << device["driver"].get<std::string>() << "\n";
            if (device.contains("usb")) {
                const json& usb = device["usb"];
                out << "      USB " << usb["vendor"].get<std::string>() << ":"
                    << usb["product"].get<std::string>();
                for (const char* key : {"manufacturer", "name"})
                    if (!usb[key].get<std::string>().empty())
                        out << " " << usb[key].get<std::string>();
                if (!usb["serial"].get<std::string>().empty())
                    out << ", serial number " << usb["serial"].get<std::string>();
                out << "\n";
            }
            for (const json& link : device["byId"])
                out << "      " << link.get<std::string>() << " -> " << path << "\n";
        }
    }
    out << "--port N opens $QEL_COM<N+1> when it is set, else /dev/ttyS<N>.\n";
}

}  // namespace cli

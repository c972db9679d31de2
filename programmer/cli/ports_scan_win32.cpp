// The ports command's scan on Windows: the COM ports Windows lists, and the Camera Link serial
// libraries (clser*.dll) in the places the serial interface library searches.
#include "programmer/cli/ports_scan.h"

#include <windows.h>

#include <algorithm>

#include "platform/places.h"
#include "platform/registry.h"
#include "platform/serial_ports_list.h"
#include "platform/wide_text.h"

namespace cli {

namespace {

using nlohmann::json;

// The --port index of "COM<n>": n - 1; -1 for another name.
int portIndexOf(const std::string& name) {
    if (name.size() < 4 || name.compare(0, 3, "COM") != 0 ||
        name.find_first_not_of("0123456789", 3) != std::string::npos)
        return -1;
    return std::stoi(name.substr(3)) - 1;
}

// The registry's CLSERIALPATH folder, the system directory and the folder of the programs, where
// tessiport.dll is installed.
std::vector<std::string> libraryPlaces() {
    std::vector<std::string> dirs;
    std::string registered;
    if (platform::readMachineText("Software\\cameralink", "CLSERIALPATH", registered) ==
            platform::RegistryRead::kFound &&
        !registered.empty())
        dirs.push_back(registered);
    dirs.push_back(platform::systemDirectory());
    std::string own = platform::moduleFileName(reinterpret_cast<const void*>(&libraryPlaces));
    dirs.push_back(own.substr(0, own.find_last_of('\\')));
    for (std::string& dir : dirs)
        while (dir.size() > 3 && (dir.back() == '\\' || dir.back() == '/'))
            dir.pop_back();
    return dirs;
}

std::vector<std::string> serialLibrariesIn(const std::string& dir) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileW(platform::widen(dir + "\\clser*.dll").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(platform::narrow(found.cFileName));
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

const char* const kSerialLibraryPattern = "clser*.dll";
const char* const kOtherLibraryFolder =
    "the registry value CLSERIALPATH under HKEY_LOCAL_MACHINE\\Software\\cameralink names "
    "another folder";

json scanPorts() {
    json out;
    out["devices"] = json::array();
    for (const platform::SerialDevice& device : platform::listSerialDevices()) {
        const int index = portIndexOf(device.path);
        out["devices"].push_back({{"path", device.path},
                                  {"driver", device.driver},
                                  {"portIndex", index < 0 ? json() : json(index)}});
    }
    out["cameraLinkLibraries"] = json::array();
    out["libraryPlaces"] = libraryPlaces();
    for (const std::string& dir : out["libraryPlaces"].get<std::vector<std::string>>())
        for (const std::string& file : serialLibrariesIn(dir))
            out["cameraLinkLibraries"].push_back(
                {{"path", dir + "\\" + file}, {"grabber", file.substr(0, file.size() - 4)}});
    return out;
}

void printSerialDevices(const json& info, std::ostream& out) {
    if (info["devices"].empty()) {
        out << "No COM port is present.\n";
    } else {
        out << "COM ports:\n";
        for (const json& device : info["devices"]) {
            out << "  " << device["path"].get<std::string>();
            if (!device["portIndex"].is_null())
                out << "  selected by --port " << device["portIndex"].get<int>();
            out << "\n      driver " << device["driver"].get<std::string>() << "\n";
        }
    }
    out << "--port N opens COM<N+1>.\n";
}

}  // namespace cli

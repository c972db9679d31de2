// The places searched for a frame grabber's Camera Link serial library on Windows: the registry
// value CLSERIALPATH under HKEY_LOCAL_MACHINE\Software\cameralink, the system directory, and the
// folder of tessiport.dll itself. Names cross to the system in UTF-16.
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "platform/places.h"
#include "platform/registry.h"
#include "platform/wide_text.h"
#include "tessiport/driver_entry.h"
#include "tessiport/serial_places.h"

namespace tessiport {

const char* const kSerialPattern = "clser*.dll";

namespace {
constexpr const char* kPrefix = "clser";
constexpr const char* kExtension = ".dll";

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

std::string withSeparator(const std::string& dir) {
    return dir.empty() || isSeparator(dir.back()) ? dir : dir + "\\";
}
}  // namespace

std::string SerialPlaces::ownDir() const {
    const size_t separator = ownFile.find_last_of("\\/");
    return separator == std::string::npos ? std::string() : ownFile.substr(0, separator + 1);
}

SerialPlaces currentSerialPlaces() {
    SerialPlaces places;
    std::string dir;
    const platform::RegistryRead read =
        platform::readMachineText("Software\\cameralink", "CLSERIALPATH", dir);
    places.registryKey = read != platform::RegistryRead::kNoKey;
    // A value of 260 bytes or more, its terminator counted, is treated as missing.
    if (read == platform::RegistryRead::kFound && !dir.empty() &&
        dir.size() + 1 < size_t(kLibraryPathLength))
        places.registryDir = withSeparator(dir);
    places.systemDir = platform::systemDirectory();
    // An address inside this library names tessiport.dll, not the program that loaded it.
    places.ownFile = platform::moduleFileName(reinterpret_cast<const void*>(&currentSerialPlaces));
    return places;
}

// The system's file search ignores case, and so does this test.
bool matchesSerialPattern(const std::string& fileName) {
    const size_t prefix = std::strlen(kPrefix);
    const size_t extension = std::strlen(kExtension);
    return fileName.size() >= prefix + extension &&
           ::_strnicmp(fileName.c_str(), kPrefix, prefix) == 0 &&
           ::_stricmp(fileName.c_str() + fileName.size() - extension, kExtension) == 0;
}

std::string offeredName(const std::string& fileName) {
    const size_t dot = fileName.rfind('.');
    if (dot == std::string::npos || dot == 0 ||
        fileName.compare(dot, std::string::npos, kExtension) != 0)
        return {};
    return fileName.substr(0, dot);
}

bool isRegularFile(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(platform::widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::vector<std::string> findSerialLibraries(const std::string& dir) {
    std::vector<std::string> names;
    const std::string folder = withSeparator(dir.empty() ? "." : dir);
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW(platform::widen(folder + kSerialPattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        // The search also matches short 8.3 names ("clser*.dll" finds "clserx.dllx").
        const std::string name = platform::narrow(found.cFileName);
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && matchesSerialPattern(name))
            names.push_back(name);
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace tessiport

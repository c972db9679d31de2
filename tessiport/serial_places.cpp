#include "tessiport/serial_places.h"

#include <dirent.h>
#include <dlfcn.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "tessiport/driver_entry.h"

#ifndef TESSIPORT_SYSTEM_DIR_DEFAULT
#define TESSIPORT_SYSTEM_DIR_DEFAULT "/usr/local/lib"
#endif

namespace tessiport {

const char* const kSerialPattern = "libclser*.so";

namespace {
constexpr const char* kPrefix = "libclser";
constexpr const char* kExtension = ".so";

std::string ownModuleFile() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&ownModuleFile), &info) == 0 || info.dli_fname == nullptr)
        return {};
    char resolved[PATH_MAX];
    return ::realpath(info.dli_fname, resolved) != nullptr ? std::string(resolved)
                                                           : std::string(info.dli_fname);
}
}  // namespace

std::string SerialPlaces::ownDir() const {
    const size_t slash = ownFile.rfind('/');
    return slash == std::string::npos ? std::string() : ownFile.substr(0, slash + 1);
}

SerialPlaces currentSerialPlaces() {
    SerialPlaces places;
    if (const char* value = std::getenv("CLSERIALPATH")) {
        places.registryKey = true;
        const size_t length = std::strlen(value);
        if (length > 0 && length < size_t(kLibraryPathLength)) {
            places.registryDir = value;
            if (places.registryDir.back() != '/') places.registryDir += '/';
        }
    }
    const char* systemDir = std::getenv("TESSIPORT_SYSTEM_DIR");
    places.systemDir = systemDir != nullptr && systemDir[0] != '\0' ? systemDir
                                                                     : TESSIPORT_SYSTEM_DIR_DEFAULT;
    places.ownFile = ownModuleFile();
    return places;
}

bool matchesSerialPattern(const std::string& fileName) {
    const size_t prefix = std::strlen(kPrefix);
    const size_t extension = std::strlen(kExtension);
    return fileName.size() >= prefix + extension &&
           ::strncasecmp(fileName.c_str(), kPrefix, prefix) == 0 &&
           ::strcasecmp(fileName.c_str() + fileName.size() - extension, kExtension) == 0;
}

std::string offeredName(const std::string& fileName) {
    const size_t dot = fileName.rfind('.');
    if (dot == std::string::npos || fileName.compare(dot, std::string::npos, kExtension) != 0 ||
        dot <= 3)
        return {};
    return fileName.substr(3, dot - 3);
}

bool isRegularFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::vector<std::string> findSerialLibraries(const std::string& dir) {
    std::vector<std::string> names;
    DIR* folder = ::opendir(dir.empty() ? "." : dir.c_str());
    if (folder == nullptr) return names;
    while (const dirent* item = ::readdir(folder)) {
        const std::string name = item->d_name;
        if (matchesSerialPattern(name) && isRegularFile(dir + "/" + name)) names.push_back(name);
    }
    ::closedir(folder);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace tessiport

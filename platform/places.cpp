#include "platform/places.h"

#include <dlfcn.h>

#include <climits>
#include <cstdlib>

#ifndef KF_SYSTEM_LIBRARY_DIR
#define KF_SYSTEM_LIBRARY_DIR "/usr/local/lib"
#endif

namespace platform {

namespace {
std::string absoluteEnv(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] == '/' ? std::string(value) : std::string();
}
}  // namespace

std::string systemDirectory() {
    const char* value = std::getenv("TESSIPORT_SYSTEM_DIR");
    return value != nullptr && value[0] != '\0' ? value : KF_SYSTEM_LIBRARY_DIR;
}

std::string moduleFileName(const void* address) {
    Dl_info info{};
    if (::dladdr(address, &info) == 0 || info.dli_fname == nullptr)
        return {};
    char resolved[PATH_MAX];
    return ::realpath(info.dli_fname, resolved) != nullptr ? std::string(resolved)
                                                           : std::string(info.dli_fname);
}

std::string dataFolder() {
    std::string folder = absoluteEnv("QEL_DATA_DIR");
    if (!folder.empty())
        return folder;
    folder = absoluteEnv("XDG_STATE_HOME");
    if (!folder.empty())
        return folder + "/qel";
    folder = absoluteEnv("HOME");
    if (!folder.empty())
        return folder + "/.local/state/qel";
    return {};
}

}  // namespace platform

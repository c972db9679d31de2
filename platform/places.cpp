#include "platform/places.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "platform/dynamic_library.h"

#ifndef KF_SYSTEM_LIBRARY_DIR
#define KF_SYSTEM_LIBRARY_DIR "/usr/local/lib"
#endif

namespace platform {

const char kPathSeparator = '/';

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

std::string installedLibraryPath(const std::string& name) {
    if (name.find('/') != std::string::npos)
        return name;
    char program[4096] = {};
    const ssize_t length = ::readlink("/proc/self/exe", program, sizeof program - 1);
    if (length <= 0)
        return name;
    std::string folder(program, size_t(length));
    folder.erase(folder.rfind('/') + 1);
    const std::string beside = folder + "../lib/" + platformLibraryName(name);
    return ::access(beside.c_str(), R_OK) == 0 ? beside : name;
}

std::string systemConfigFolder() {
    return "/etc/kelvoflash";
}

std::string stagedConfigFolder() {
    return absoluteEnv("KELVOFLASH_SYSTEM_CONFIG_DIR");
}

std::string userConfigFolder() {
    std::string folder = absoluteEnv("XDG_CONFIG_HOME");
    if (!folder.empty())
        return folder + "/kelvoflash";
    folder = absoluteEnv("HOME");
    return folder.empty() ? std::string() : folder + "/.config/kelvoflash";
}

}  // namespace platform

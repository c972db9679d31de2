#include "tessiport/private_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace tessiport {

namespace {
std::string absoluteEnv(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] == '/' ? std::string(value) : std::string();
}
}  // namespace

std::string dataFolder() {
    std::string folder = absoluteEnv("QEL_DATA_DIR");
    if (!folder.empty()) return folder;
    folder = absoluteEnv("XDG_STATE_HOME");
    if (!folder.empty()) return folder + "/qel";
    folder = absoluteEnv("HOME");
    if (!folder.empty()) return folder + "/.local/state/qel";
    return {};
}

void makePrivateFolder(const std::string& folder) {
    for (size_t slash = folder.find('/', 1); ; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (!part.empty()) ::mkdir(part.c_str(), 0700);
        if (slash == std::string::npos) break;
    }
}

const char* folderRefusal(const std::string& folder) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) return "it cannot be created";
    if (!S_ISDIR(info.st_mode)) return "it is not a folder";
    if (info.st_uid != ::geteuid()) return "it belongs to another user";
    if (info.st_mode & (S_IWGRP | S_IWOTH)) return "other users may write to it";
    return "";
}

std::string runtimeFolder() {
    const std::string folder = absoluteEnv("XDG_RUNTIME_DIR");
    struct stat info {};
    if (folder.empty() || ::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::geteuid() || (info.st_mode & 077) != 0)
        return {};
    return folder;
}

}  // namespace tessiport

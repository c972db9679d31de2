// The folder of the log and the parameter file, and the log's start at process attach. The folder
// must be private to the user: a path that another user could plant files in is never used.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tessiport/driver_entry.h"
#include "tessiport/library_log.h"
#include "tessiport/log_file.h"

#ifndef TESSIPORT_VERSION_TEXT
#define TESSIPORT_VERSION_TEXT "0,0,0,0"
#endif

namespace tessiport {

namespace {
constexpr const char* kLogFileName = "tessiport.log";
constexpr const char* kParamFileName = "km4_cl_param.ini";

char processParamPath[kLibraryPathLength] = {};

std::string absoluteEnv(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] == '/' ? std::string(value) : std::string();
}

// $QEL_DATA_DIR, else $XDG_STATE_HOME/qel, else ~/.local/state/qel; relative values are ignored.
std::string dataFolder() {
    std::string folder = absoluteEnv("QEL_DATA_DIR");
    if (!folder.empty()) return folder;
    folder = absoluteEnv("XDG_STATE_HOME");
    if (!folder.empty()) return folder + "/qel";
    folder = absoluteEnv("HOME");
    if (!folder.empty()) return folder + "/.local/state/qel";
    return {};
}

// Creates the folder and any missing parents, each with mode 0700.
void makeFolder(const std::string& folder) {
    for (size_t slash = folder.find('/', 1); ; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (!part.empty()) ::mkdir(part.c_str(), 0700);
        if (slash == std::string::npos) break;
    }
}

// Empty when the folder is a directory of this user that no one else may write; else why not.
const char* folderRefusal(const std::string& folder) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) return "it cannot be created";
    if (!S_ISDIR(info.st_mode)) return "it is not a folder";
    if (info.st_uid != ::geteuid()) return "it belongs to another user";
    if (info.st_mode & (S_IWGRP | S_IWOTH)) return "other users may write to it";
    return "";
}

bool folderUsable(const std::string& folder) {
    const char* refusal = folderRefusal(folder);
    if (refusal[0] == '\0') return true;
    // No log file can be open yet, so the note goes to standard error as well.
    LogMessage(level::kError, 1, "log folder %s not used: %s", folder.c_str(), refusal);
    std::fprintf(stderr, "tessiport: log folder %s not used: %s\n", folder.c_str(), refusal);
    return false;
}

void rememberParamPath(const char* paramPath) {
    std::snprintf(processParamPath, sizeof processParamPath, "%s", paramPath);
}

void writeStartLines(const char* logPath) {
    const LocalTime now = localNow();
    char line[2 * kLibraryPathLength];
    int size = std::snprintf(line, sizeof line, "%s logfile started %02d:%02d:%02d %02d.%02d.%04d\r\n",
                             logPath, now.fields.tm_hour, now.fields.tm_min, now.fields.tm_sec,
                             now.fields.tm_mday, now.fields.tm_mon + 1, now.fields.tm_year + 1900);
    writeLogText(line, size_t(size));
    size = std::snprintf(line, sizeof line, "%s DLL-Version: %s from %s %s\r\n\r\n", "TESSIPORT",
                         TESSIPORT_VERSION_TEXT, __DATE__, __TIME__);
    writeLogText(line, size_t(size));
}
}  // namespace

const char* parameterFilePath() { return processParamPath; }

void setUpLog(char* folder, char* logPath, char* paramPath) {
    const std::string dir = dataFolder();
    if (dir.empty()) return;
    // The longer of the two file paths must fit its field whole, or it would name another file.
    if (dir.size() + 1 + std::strlen(kParamFileName) >= size_t(kLibraryPathLength)) {
        std::fprintf(stderr, "tessiport: log folder %s not used: its path is too long\n",
                     dir.c_str());
        return;
    }
    makeFolder(dir);
    if (!folderUsable(dir)) return;
    std::snprintf(folder, kLibraryPathLength, "%s", dir.c_str());
    std::snprintf(logPath, kLibraryPathLength, "%s/%s", dir.c_str(), kLogFileName);
    std::snprintf(paramPath, kLibraryPathLength, "%s/%s", dir.c_str(), kParamFileName);
    rememberParamPath(paramPath);

    // Logging into the file is switched on by the file's presence: it is never created here.
    const int fd = ::open(logPath, O_RDWR | O_APPEND | O_CLOEXEC);
    if (fd < 0) return;
    adoptLogFile(fd);
    writeStartLines(logPath);
    get_param_file(nullptr);
}

void usePaths(const char* folder, const char* logPath, const char* paramPath) {
    if (folder == nullptr || folder[0] == '\0' || !folderUsable(folder)) return;
    // Only paths inside the checked folder are taken.
    const std::string inside = std::string(folder) + "/";
    if (std::strncmp(logPath, inside.c_str(), inside.size()) != 0 ||
        std::strncmp(paramPath, inside.c_str(), inside.size()) != 0)
        return;
    rememberParamPath(paramPath);
}

}  // namespace tessiport

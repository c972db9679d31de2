// The folder of the log and the parameter file, and the log's start at process attach. The folder
// must be private to the user: a path that another user could plant files in is never used.
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/places.h"
#include "platform/regular_file.h"
#include "tessiport/driver_entry.h"
#include "tessiport/library_log.h"
#include "tessiport/log_file.h"
#include "tessiport/private_folder.h"

#ifndef TESSIPORT_VERSION_TEXT
#define TESSIPORT_VERSION_TEXT "0,0,0,0"
#endif

namespace tessiport {

namespace {
constexpr const char* kLogFileName = "tessiport.log";
constexpr const char* kParamFileName = "km4_cl_param.ini";

char processParamPath[kLibraryPathLength] = {};

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
    makePrivateFolder(dir);
    if (!folderUsable(dir)) return;
    std::snprintf(folder, kLibraryPathLength, "%s", dir.c_str());
    std::snprintf(logPath, kLibraryPathLength, "%s%c%s", dir.c_str(), platform::kPathSeparator,
                  kLogFileName);
    std::snprintf(paramPath, kLibraryPathLength, "%s%c%s", dir.c_str(), platform::kPathSeparator,
                  kParamFileName);
    rememberParamPath(paramPath);

    // Logging into the file is switched on by the file's presence: it is never created here.
    const int fd = platform::openRegularFile(logPath, platform::FileAccess::Append);
    if (fd < 0) return;
    adoptLogFile(fd);
    writeStartLines(logPath);
    get_param_file(nullptr);
}

void usePaths(const char* folder, const char* logPath, const char* paramPath) {
    processParamPath[0] = '\0';
    if (folder == nullptr || folder[0] == '\0' || !folderUsable(folder)) return;
    // Only paths inside the checked folder are taken.
    const std::string inside = std::string(folder) + platform::kPathSeparator;
    if (std::strncmp(logPath, inside.c_str(), inside.size()) != 0 ||
        std::strncmp(paramPath, inside.c_str(), inside.size()) != 0)
        return;
    rememberParamPath(paramPath);
}

}  // namespace tessiport

#include "platform/file_access.h"

#include <sys/stat.h>
#include <unistd.h>

namespace platform {

bool writableByOthers(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return true;
    if (info.st_uid != 0 && info.st_uid != ::geteuid())
        return true;
    return (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

}  // namespace platform

#pragma once
// Stopgap for the Windows build of programmer/files, camera and app until their file, log and
// program-folder code has Windows sources of its own: the few POSIX names they use, with the
// meaning they have on Windows. Included ahead of every source of those libraries by the build.

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

// Handles are not inherited by the programs we start (we start none), and a plain file never
// makes an open wait.
#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif
#ifndef O_NONBLOCK
#define O_NONBLOCK 0
#endif
#define F_GETFL 3
#define F_SETFL 4
#ifndef S_ISLNK
#define S_ISLNK(mode) 0
#endif
#ifndef EROFS
#define EROFS 30
#endif

inline int fcntl(int, int, ...) { return 0; }
inline int fsync(int fd) { return _commit(fd); }
inline int lstat(const char* path, struct stat* info) { return stat(path, info); }
inline int fchown(int, unsigned, unsigned) { return 0; }
inline int fchmod(int, int) { return 0; }
// Windows has no links to follow here; the program folder is the loader's first place anyway.
inline int readlink(const char*, char*, size_t) {
    errno = ENOENT;
    return -1;
}
inline struct tm* localtime_r(const time_t* time, struct tm* parts) {
    return localtime_s(parts, time) == 0 ? parts : nullptr;
}

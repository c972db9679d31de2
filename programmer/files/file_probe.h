#pragma once
// Finding out before a long run whether a file can be written at a path, without touching it.

#include <string>

namespace files {

// True when something (a file, a folder, a link) exists at `path`.
bool pathExists(const std::string& path);

// True when `path` names a regular file (not a folder, a pipe or a device).
bool isRegularFile(const std::string& path);

// 0 when writeFileSafely can write `path`: a new file can be created beside its write target,
// or the target is an existing file that can be written where its folder takes no new file.
// Else the errno value that writing it would give (EISDIR for a folder). Leaves nothing behind.
int checkCanCreate(const std::string& path);

}  // namespace files

#pragma once
// Finding out before a long run whether a file can be written at a path, without touching it.

#include <string>

namespace files {

// True when something (a file, a folder, a link) exists at `path`.
bool pathExists(const std::string& path);

// 0 when a new file can be created in `path`'s folder (and `path` is not a folder), else the
// errno value that creating it gives. Leaves nothing behind.
int checkCanCreate(const std::string& path);

}  // namespace files

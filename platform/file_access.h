#pragma once
// Who besides the running user may change a file: files that decide what the programmer trusts
// (keys, the site's policy) count only when nobody else can rewrite them.

#include <string>

namespace platform {

// True when a user other than the owner, the running user and the administrator may write
// `path` (its group or everybody may write it, or it belongs to another ordinary user), or when
// that cannot be told. Windows: when the file's access list lets anyone but the owner, the running
// user, the system and the administrators write it.
bool writableByOthers(const std::string& path);

}  // namespace platform

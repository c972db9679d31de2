#pragma once
// The folders the library keeps its files in. Each must be private to the user: a folder that
// another user could create entries in is never used, or that user could plant the files the
// library opens (and so lock it out or feed it paths).

#include <string>

namespace tessiport {

// $QEL_DATA_DIR, else $XDG_STATE_HOME/qel, else ~/.local/state/qel; relative values are ignored.
// Empty when none can be named.
std::string dataFolder();
// Creates the folder and any missing parents, each with owner-only access.
void makePrivateFolder(const std::string& folder);
// Empty when `folder` is a folder of this user that no one else may write to; else why not.
const char* folderRefusal(const std::string& folder);
// The user's runtime folder ($XDG_RUNTIME_DIR) when it is this user's and open to no one else;
// else empty.
std::string runtimeFolder();

}  // namespace tessiport

#pragma once
// Folders and files the system names: where grabber libraries are installed system-wide, the file
// of a loaded module, and the folder of the serial library's log and parameter file.

#include <string>

namespace platform {

// What separates folders in the paths the system's own calls take and show: a backslash on
// Windows, '/' elsewhere.
extern const char kPathSeparator;

// Windows: the system directory. Elsewhere: $TESSIPORT_SYSTEM_DIR, else the install's library
// directory.
std::string systemDirectory();

// The full file name of the module (program or library) that holds `address`; empty if unknown.
// Given an address inside a library, it names the library, not the program that loaded it.
std::string moduleFileName(const void* address);

// Windows: the common application-data folder with "\qel". Elsewhere: $QEL_DATA_DIR, else
// $XDG_STATE_HOME/qel, else ~/.local/state/qel; relative values are ignored. Empty if none.
std::string dataFolder();

// The library `name` (a Windows-style name: "tessiport.dll") as installed with the running
// program: on Windows beside the program, elsewhere in lib/ beside its bin/. The name itself, for
// the loader's own search, when it is not there.
std::string installedLibraryPath(const std::string& name);

// The folder of the site's own settings for the programmer (trusted keys, policy.conf), which
// only administrators may change. Windows: the common application-data folder with
// "\kelvoflash". Elsewhere: /etc/kelvoflash.
std::string systemConfigFolder();

// A further site folder named by the absolute path in $KELVOFLASH_SYSTEM_CONFIG_DIR (tests and
// staged installs); empty when unset. It is read beside the installed one, never instead of it,
// so a user's environment cannot lift the installed site's policy.
std::string stagedConfigFolder();

// The user's own settings folder: $XDG_CONFIG_HOME/kelvoflash, else ~/.config/kelvoflash;
// relative values are ignored. Empty on Windows, where trust is the administrators' alone.
std::string userConfigFolder();

}  // namespace platform

#pragma once
// The one place where serial libraries (a grabber's Camera Link serial library, the IMAQ library)
// are loaded and unloaded. Loads and unloads run one at a time in the process: a library's static
// initialisers and finalisers then happen before or after any use of it by another thread, in an
// order that the thread tools can see too, not only the dynamic loader's own lock.

#include <string>

#include "platform/dynamic_library.h"

namespace tessiport {

// Loads `path` into `library` (unloading what it held). False with the loader's text in
// library.lastError() when it cannot be loaded.
bool loadSerialLibrary(platform::DynamicLibrary& library, const std::string& path);
void unloadSerialLibrary(platform::DynamicLibrary& library);

}  // namespace tessiport

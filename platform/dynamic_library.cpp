#include "platform/dynamic_library.h"

#include <dlfcn.h>

#include "platform/library_loader.h"

namespace platform {

namespace {
bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}
}  // namespace

std::string platformLibraryName(const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos) return name;
    if (endsWith(name, ".so") || name.find(".so.") != std::string::npos) return name;
    std::string stem = endsWithNoCase(name, ".dll") ? name.substr(0, name.size() - 4) : name;
    if (stem.rfind("lib", 0) != 0) stem = "lib" + stem;
    return stem + ".so";
}

void* loadLibraryFile(const std::string& fileName, std::string& error) {
    void* handle = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* text = dlerror();
        error = text != nullptr ? text : "cannot load " + fileName;
    }
    return handle;
}

void freeLibraryFile(void* handle) {
    dlclose(handle);
}

void* librarySymbol(void* handle, const char* name) {
    return dlsym(handle, name);
}

}  // namespace platform

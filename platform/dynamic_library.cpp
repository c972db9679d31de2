#include "platform/dynamic_library.h"

#include <dlfcn.h>

#include <cerrno>
#include <utility>

namespace platform {

namespace {
bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool endsWithNoCase(const std::string& text, const std::string& tail) {
    if (text.size() < tail.size()) return false;
    for (size_t i = 0; i < tail.size(); ++i) {
        char c = text[text.size() - tail.size() + i];
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if (c != tail[i]) return false;
    }
    return true;
}
}  // namespace

std::string platformLibraryName(const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos) return name;
    if (endsWith(name, ".so") || name.find(".so.") != std::string::npos) return name;
    std::string stem = endsWithNoCase(name, ".dll") ? name.substr(0, name.size() - 4) : name;
    if (stem.rfind("lib", 0) != 0) stem = "lib" + stem;
    return stem + ".so";
}

DynamicLibrary::~DynamicLibrary() { close(); }

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), lastError_(std::move(other.lastError_)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, nullptr);
        lastError_ = std::move(other.lastError_);
    }
    return *this;
}

int DynamicLibrary::open(const std::string& name) {
    close();
    const std::string fileName = platformLibraryName(name);
    if (fileName.empty()) {
        lastError_ = "empty library name";
        return ENOENT;
    }
    handle_ = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* text = dlerror();
        lastError_ = text != nullptr ? text : "cannot load " + fileName;
        return ENOENT;
    }
    lastError_.clear();
    return 0;
}

void DynamicLibrary::close() {
    if (handle_ != nullptr) {
        dlclose(handle_);
        handle_ = nullptr;
    }
}

void* DynamicLibrary::symbol(const char* name) const {
    if (handle_ == nullptr || name == nullptr) return nullptr;
    return dlsym(handle_, name);
}

}  // namespace platform

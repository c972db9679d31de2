#include <cerrno>
#include <utility>

#include "platform/dynamic_library.h"
#include "platform/library_loader.h"

namespace platform {

bool endsWithNoCase(const std::string& text, const std::string& tail) {
    if (text.size() < tail.size())
        return false;
    for (size_t i = 0; i < tail.size(); ++i) {
        char c = text[text.size() - tail.size() + i];
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        if (c != tail[i])
            return false;
    }
    return true;
}

DynamicLibrary::~DynamicLibrary() {
    close();
}

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
    handle_ = loadLibraryFile(fileName, lastError_);
    if (handle_ == nullptr)
        return ENOENT;
    lastError_.clear();
    return 0;
}

void DynamicLibrary::close() {
    if (handle_ != nullptr) {
        freeLibraryFile(handle_);
        handle_ = nullptr;
    }
}

void* DynamicLibrary::symbol(const char* name) const {
    if (handle_ == nullptr || name == nullptr)
        return nullptr;
    return librarySymbol(handle_, name);
}

}  // namespace platform

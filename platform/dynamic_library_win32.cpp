#include <windows.h>

#include <cerrno>
#include <utility>

#include "platform/dynamic_library.h"

namespace platform {

namespace {
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

HMODULE moduleOf(void* handle) {
    return static_cast<HMODULE>(handle);
}

std::string systemMessage(DWORD error) {
    char text[256] = {};
    const DWORD length =
        ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                         error, 0, text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
        message.pop_back();
    return message.empty() ? "error " + std::to_string(error) : message;
}
}  // namespace

// Windows names are the file names already; a bare name gets the ".dll" the loader would add.
std::string platformLibraryName(const std::string& name) {
    if (name.empty() || endsWithNoCase(name, ".dll") || name.find_first_of("/\\") != name.npos)
        return name;
    return name + ".dll";
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
    handle_ = ::LoadLibraryA(fileName.c_str());
    if (handle_ == nullptr) {
        lastError_ = fileName + ": " + systemMessage(::GetLastError());
        return ENOENT;
    }
    lastError_.clear();
    return 0;
}

void DynamicLibrary::close() {
    if (handle_ != nullptr) {
        ::FreeLibrary(moduleOf(handle_));
        handle_ = nullptr;
    }
}

void* DynamicLibrary::symbol(const char* name) const {
    if (handle_ == nullptr || name == nullptr)
        return nullptr;
    return reinterpret_cast<void*>(::GetProcAddress(moduleOf(handle_), name));
}

}  // namespace platform

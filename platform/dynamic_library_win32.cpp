#include <windows.h>

#include "platform/dynamic_library.h"
#include "platform/library_loader.h"
#include "platform/wide_text.h"

namespace platform {

namespace {
HMODULE moduleOf(void* handle) {
    return static_cast<HMODULE>(handle);
}

std::string systemMessage(DWORD error) {
    wchar_t text[256] = {};
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                         0, text, 256, nullptr);
    std::string message = narrow({text, length});
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

void* loadLibraryFile(const std::string& fileName, std::string& error) {
    HMODULE module = ::LoadLibraryW(widen(fileName).c_str());
    if (module == nullptr)
        error = fileName + ": " + systemMessage(::GetLastError());
    return module;
}

void freeLibraryFile(void* handle) {
    ::FreeLibrary(moduleOf(handle));
}

void* librarySymbol(void* handle, const char* name) {
    return reinterpret_cast<void*>(::GetProcAddress(moduleOf(handle), name));
}

}  // namespace platform

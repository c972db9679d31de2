// The places of the system on Windows. Paths come from the W functions and are handed out in
// UTF-8, so a folder named outside the ANSI code page stays whole.
#include <windows.h>
#include <shlobj.h>

#include <cstdlib>

#include "platform/dynamic_library.h"
#include "platform/places.h"
#include "platform/wide_text.h"

namespace platform {

const char kPathSeparator = '\\';

std::string systemDirectory() {
    wchar_t folder[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    return length > 0 && length < MAX_PATH ? narrow({folder, length}) : std::string();
}

std::string moduleFileName(const void* address) {
    HMODULE module = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                  GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              static_cast<LPCWSTR>(address), &module))
        return {};
    wchar_t file[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(module, file, MAX_PATH);
    return length > 0 && length < MAX_PATH ? narrow({file, length}) : std::string();
}

std::string dataFolder() {
    wchar_t folder[MAX_PATH] = {};
    if (::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder) !=
        S_OK)
        return {};
    return narrow(folder) + "\\qel";
}

std::string installedLibraryPath(const std::string& name) {
    if (name.find_first_of("/\\") != std::string::npos)
        return name;
    std::string folder = moduleFileName(reinterpret_cast<const void*>(&installedLibraryPath));
    folder.erase(folder.find_last_of('\\') + 1);
    const std::string beside = folder + platformLibraryName(name);
    return !folder.empty() && ::GetFileAttributesW(widen(beside).c_str()) != INVALID_FILE_ATTRIBUTES
               ? beside
               : name;
}

std::string stagedConfigFolder() {
    const char* moved = std::getenv("KELVOFLASH_SYSTEM_CONFIG_DIR");
    if (moved != nullptr && moved[0] != '\0' && (moved[0] == '\\' || moved[1] == ':'))
        return moved;
    return {};
}

std::string systemConfigFolder() {
    char folder[MAX_PATH] = {};
    if (::SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder) !=
        S_OK)
        return {};
    return std::string(folder) + "\\kelvoflash";
}

std::string userConfigFolder() {
    return {};
}

}  // namespace platform

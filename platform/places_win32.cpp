#include <windows.h>
#include <shlobj.h>

#include <cstdlib>

#include "platform/dynamic_library.h"
#include "platform/places.h"

namespace platform {

std::string systemDirectory() {
    char folder[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryA(folder, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::string(folder, length) : std::string();
}

std::string moduleFileName(const void* address) {
    HMODULE module = nullptr;
    if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                  GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              static_cast<LPCSTR>(address), &module))
        return {};
    char file[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(module, file, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::string(file, length) : std::string();
}

std::string dataFolder() {
    char folder[MAX_PATH] = {};
    if (::SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder) !=
        S_OK)
        return {};
    return std::string(folder) + "\\qel";
}

std::string installedLibraryPath(const std::string& name) {
    if (name.find_first_of("/\\") != std::string::npos)
        return name;
    std::string folder = moduleFileName(reinterpret_cast<const void*>(&installedLibraryPath));
    folder.erase(folder.find_last_of('\\') + 1);
    const std::string beside = folder + platformLibraryName(name);
    return !folder.empty() && ::GetFileAttributesA(beside.c_str()) != INVALID_FILE_ATTRIBUTES
               ? beside
               : name;
}

std::string systemConfigFolder() {
    const char* moved = std::getenv("KELVOFLASH_SYSTEM_CONFIG_DIR");
    if (moved != nullptr && moved[0] != '\0' && (moved[0] == '\\' || moved[1] == ':'))
        return moved;
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

#include <windows.h>

#include <vector>

#include "platform/registry.h"

namespace platform {

RegistryRead readMachineText(const std::string& key, const std::string& value, std::string& text) {
    text.clear();
    HKEY opened = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return RegistryRead::kNoKey;
    DWORD type = 0;
    DWORD size = 0;
    LONG result = ::RegQueryValueExA(opened, value.c_str(), nullptr, &type, nullptr, &size);
    std::vector<char> data(size + 1, '\0');
    if (result == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ))
        result = ::RegQueryValueExA(opened, value.c_str(), nullptr, &type,
                                    reinterpret_cast<BYTE*>(data.data()), &size);
    else
        result = ERROR_FILE_NOT_FOUND;
    ::RegCloseKey(opened);
    if (result != ERROR_SUCCESS)
        return RegistryRead::kNoValue;
    // The stored text may or may not end in its terminating zero.
    text.assign(data.data(), size);
    text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
    return RegistryRead::kFound;
}

}  // namespace platform

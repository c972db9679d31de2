// Registry values read through the W functions, so a folder named outside the ANSI code page
// comes back whole, in UTF-8.
#include <windows.h>

#include <vector>

#include "platform/registry.h"
#include "platform/wide_text.h"

namespace platform {

namespace {
// A REG_EXPAND_SZ value names its folder with variables ("%ProgramFiles%\grabber"). Empty when
// the expansion fails.
std::wstring expanded(const std::wstring& text) {
    const DWORD needed = ::ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    if (needed == 0)
        return {};
    std::wstring result(needed, L'\0');
    const DWORD written = ::ExpandEnvironmentStringsW(text.c_str(), result.data(), needed);
    if (written == 0 || written > needed)
        return {};
    result.resize(written - 1);  // the count includes the terminator
    return result;
}
}  // namespace

RegistryRead readMachineText(const std::string& key, const std::string& value, std::string& text) {
    text.clear();
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, widen(key).c_str(), 0, KEY_READ, &opened) !=
        ERROR_SUCCESS)
        return RegistryRead::kNoKey;
    const std::wstring name = widen(value);
    DWORD type = 0;
    DWORD size = 0;
    LONG result = ::RegQueryValueExW(opened, name.c_str(), nullptr, &type, nullptr, &size);
    // Room for a terminator the stored text may lack.
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
    if (result == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ))
        result = ::RegQueryValueExW(opened, name.c_str(), nullptr, &type,
                                    reinterpret_cast<BYTE*>(data.data()), &size);
    else
        result = ERROR_FILE_NOT_FOUND;
    ::RegCloseKey(opened);
    if (result != ERROR_SUCCESS)
        return RegistryRead::kNoValue;
    std::wstring wide(data.data(), size / sizeof(wchar_t));
    wide.resize(wide.find(L'\0') == std::wstring::npos ? wide.size() : wide.find(L'\0'));
    text = narrow(type == REG_EXPAND_SZ ? expanded(wide) : wide);
    return RegistryRead::kFound;
}

}  // namespace platform

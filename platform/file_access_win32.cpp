#include "platform/file_access.h"

#include <windows.h>
#include <aclapi.h>

#include <vector>

#include "platform/wide_text.h"

namespace platform {

namespace {

constexpr ACCESS_MASK kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | WRITE_DAC | WRITE_OWNER |
                                     GENERIC_WRITE | GENERIC_ALL;

// The running user's SID, held in `buffer`.
PSID runningUser(std::vector<BYTE>& buffer) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return nullptr;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    buffer.resize(size);
    const BOOL ok = size > 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size);
    CloseHandle(token);
    return ok ? reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid : nullptr;
}

bool isWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) {
    return IsWellKnownSid(sid, type) != FALSE;
}

}  // namespace

bool writableByOthers(const std::string& path) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(widen(path).c_str(), SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                              nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return true;  // cannot be told
    std::vector<BYTE> userBuffer;
    const PSID user = runningUser(userBuffer);
    // No list at all lets everybody do everything.
    bool others = dacl == nullptr || user == nullptr;
    for (DWORD i = 0; !others && i < dacl->AceCount; ++i) {
        void* entry = nullptr;
        if (!GetAce(dacl, i, &entry))
            continue;
        const auto* header = static_cast<ACE_HEADER*>(entry);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE)
            continue;
        const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        if ((allowed->Mask & kWriteRights) == 0)
            continue;
        PSID sid = const_cast<DWORD*>(&allowed->SidStart);
        const bool trusted = EqualSid(sid, user) || (owner != nullptr && EqualSid(sid, owner)) ||
                             isWellKnown(sid, WinLocalSystemSid) ||
                             isWellKnown(sid, WinBuiltinAdministratorsSid) ||
                             isWellKnown(sid, WinCreatorOwnerSid);
        others = !trusted;
    }
    LocalFree(descriptor);
    return others;
}

}  // namespace platform

#include <windows.h>

#include "tessiport/os_version.h"

namespace tessiport {

// The NT family from version 5 on. VerifyVersionInfo answers truthfully also for programs
// without a compatibility manifest, unlike GetVersionEx.
bool operatingSystemSupported() {
    OSVERSIONINFOEXA wanted{};
    wanted.dwOSVersionInfoSize = sizeof wanted;
    wanted.dwMajorVersion = 5;
    wanted.dwPlatformId = VER_PLATFORM_WIN32_NT;
    DWORDLONG condition = 0;
    condition = ::VerSetConditionMask(condition, VER_MAJORVERSION, VER_GREATER_EQUAL);
    condition = ::VerSetConditionMask(condition, VER_PLATFORMID, VER_EQUAL);
    return ::VerifyVersionInfoA(&wanted, VER_MAJORVERSION | VER_PLATFORMID, condition) != FALSE;
}

}  // namespace tessiport

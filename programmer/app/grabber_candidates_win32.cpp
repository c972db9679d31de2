#include <windows.h>

#include <algorithm>

#include "platform/places.h"
#include "platform/registry.h"
#include "platform/wide_text.h"
#include "programmer/app/grabber_width.h"

namespace app {

namespace {

// The folder of the system's libraries of the other width: SysWOW64 seen from a 64-bit program,
// the real System32 ("Sysnative") seen from a 32-bit one on 64-bit Windows.
std::string otherSystemDirectory() {
    wchar_t folder[MAX_PATH] = {};
    if (sizeof(void*) == 8) {
        const UINT length = ::GetSystemWow64DirectoryW(folder, MAX_PATH);
        return length > 0 && length < MAX_PATH ? platform::narrow(folder) : std::string();
    }
    const UINT length = ::GetSystemWindowsDirectoryW(folder, MAX_PATH);
    return length > 0 && length < MAX_PATH ? platform::narrow(folder) + "\\Sysnative"
                                           : std::string();
}

void addLibrariesIn(const std::string& folder, std::vector<GrabberCandidate>& found) {
    if (folder.empty())
        return;
    const std::string base = folder.back() == '\\' ? folder : folder + "\\";
    WIN32_FIND_DATAW entry{};
    const HANDLE search = ::FindFirstFileW(platform::widen(base + "clser*.dll").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        const std::string name = platform::narrow(entry.cFileName);
        found.push_back({name, files::peMachineOfFile(base + name)});
    } while (::FindNextFileW(search, &entry));
    ::FindClose(search);
}

}  // namespace

// The registry's CLSERIALPATH, the system directories of both widths, and the programs' folder,
// where tessiport.dll is installed.
std::vector<GrabberCandidate> FindGrabberCandidates() {
    std::vector<GrabberCandidate> found;
    std::string registered;
    if (platform::readMachineText("Software\\cameralink", "CLSERIALPATH", registered) ==
        platform::RegistryRead::kFound)
        addLibrariesIn(registered, found);
    addLibrariesIn(platform::systemDirectory(), found);
    addLibrariesIn(otherSystemDirectory(), found);
    const std::string own =
        platform::moduleFileName(reinterpret_cast<const void*>(&FindGrabberCandidates));
    addLibrariesIn(own.substr(0, own.find_last_of('\\')), found);
    return found;
}

}  // namespace app

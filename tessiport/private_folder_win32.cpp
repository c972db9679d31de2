// The library's folder on Windows: "qel" in the common application-data folder, shared by all
// users of the machine as the programs of every user read the same parameter file.
#include <windows.h>

#include "platform/places.h"
#include "platform/wide_text.h"
#include "tessiport/private_folder.h"

namespace tessiport {

std::string dataFolder() {
    return platform::dataFolder();
}

// The folder inherits the access of the folder above it.
void makePrivateFolder(const std::string& folder) {
    // Each parent after the drive's root ("C:\"), then the folder itself.
    for (size_t separator = 2;
         (separator = folder.find_first_of("\\/", separator + 1)) != std::string::npos;)
        ::CreateDirectoryW(platform::widen(folder.substr(0, separator)).c_str(), nullptr);
    ::CreateDirectoryW(platform::widen(folder).c_str(), nullptr);
}

const char* folderRefusal(const std::string& folder) {
    const DWORD attributes = ::GetFileAttributesW(platform::widen(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return "it cannot be created";
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return "it is not a folder";
    return "";
}

// The shared block is a named mapping here, not a file.
std::string runtimeFolder() {
    return {};
}

}  // namespace tessiport

#include <windows.h>

#include <cerrno>

#include "platform/wide_text.h"
#include "programmer/files/file_descriptor.h"
#include "programmer/files/new_file.h"

namespace files {

// The file's rights come from its folder's there; a key is kept private by keeping it in the
// user's own folders.
int writeNewFile(const std::string& path, const std::vector<uint8_t>& bytes, bool) {
    std::string temporary;
    int error = writeTemporaryBeside(path, bytes, temporary);
    // Without MOVEFILE_REPLACE_EXISTING the move refuses a name that is taken.
    if (error == 0 && !::MoveFileExW(platform::widen(temporary).c_str(),
                                     platform::widen(path).c_str(), MOVEFILE_WRITE_THROUGH)) {
        const DWORD cause = ::GetLastError();
        error = cause == ERROR_ALREADY_EXISTS || cause == ERROR_FILE_EXISTS ? EEXIST
                : cause == ERROR_ACCESS_DENIED                              ? EACCES
                                                                            : EIO;
    }
    if (error != 0 && !temporary.empty())
        ::DeleteFileW(platform::widen(temporary).c_str());
    return error;
}

}  // namespace files

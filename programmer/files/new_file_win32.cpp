#include <windows.h>

#include <cerrno>

#include "platform/wide_text.h"
#include "programmer/files/file_descriptor.h"
#include "programmer/files/file_io.h"
#include "programmer/files/new_file.h"

namespace files {

// The file's rights come from its folder's there; a key is kept private by keeping it in the
// user's own folders.
int writeNewFile(const std::string& path, const std::vector<uint8_t>& bytes, bool) {
    const std::string folder = folderOf(path);
    const std::string name = path.substr(folder.size());
    if (name.empty())
        return EISDIR;
    std::string temporary;
    int fd = -1;
    if (const int error = createTemporaryBeside(folder, name, temporary, fd))
        return error;
    Descriptor file(fd);
    int error = writeSyncClose(file, bytes);
    // Without MOVEFILE_REPLACE_EXISTING the move refuses a name that is taken.
    if (error == 0 && !::MoveFileExW(platform::widen(temporary).c_str(), platform::widen(path).c_str(),
                                          MOVEFILE_WRITE_THROUGH)) {
        const DWORD cause = ::GetLastError();
        error = cause == ERROR_ALREADY_EXISTS || cause == ERROR_FILE_EXISTS ? EEXIST
                : cause == ERROR_ACCESS_DENIED                              ? EACCES
                                                                            : EIO;
    }
    if (error != 0)
        ::DeleteFileW(platform::widen(temporary).c_str());
    return error;
}

}  // namespace files

#include "programmer/files/new_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "programmer/files/file_descriptor.h"
#include "programmer/files/file_io.h"

namespace files {

int writeNewFile(const std::string& path, const std::vector<uint8_t>& bytes, bool ownerOnly) {
    const std::string folder = folderOf(path);
    const std::string name = path.substr(folder.size());
    if (name.empty())
        return EISDIR;
    std::string temporary;
    int fd = -1;
    if (const int error = createTemporaryBeside(folder, name, temporary, fd))
        return error;
    Descriptor file(fd);
    int error = ownerOnly && ::fchmod(file.get(), S_IRUSR | S_IWUSR) != 0 ? errno : 0;
    if (error == 0)
        error = writeSyncClose(file, bytes);
    // A hard link takes the name only if it is free; the temporary name then goes.
    if (error == 0 && ::link(temporary.c_str(), path.c_str()) != 0)
        error = errno;
    ::unlink(temporary.c_str());
    return error;
}

}  // namespace files

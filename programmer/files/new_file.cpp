#include "programmer/files/new_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "programmer/files/file_descriptor.h"

namespace files {

int writeNewFile(const std::string& path, const std::vector<uint8_t>& bytes, bool ownerOnly) {
    std::string temporary;
    int error = writeTemporaryBeside(path, bytes, temporary, [ownerOnly](int fd) {
        return ownerOnly && ::fchmod(fd, S_IRUSR | S_IWUSR) != 0 ? errno : 0;
    });
    // A hard link takes the name only if it is free; the temporary name then goes.
    if (error == 0 && ::link(temporary.c_str(), path.c_str()) != 0)
        error = errno;
    if (!temporary.empty())
        ::unlink(temporary.c_str());
    return error;
}

}  // namespace files

#include "programmer/files/file_descriptor.h"

#include <atomic>
#include <cerrno>
#include <new>

#include "programmer/files/file_io.h"

namespace files {

int writeSyncClose(Descriptor& file, const std::vector<uint8_t>& bytes) {
    int error = 0;
    for (size_t done = 0; error == 0 && done < bytes.size();) {
        const long written = writeDescriptor(file.get(), bytes.data() + done, bytes.size() - done);
        if (written < 0)
            error = errno;
        else
            done += size_t(written);
    }
    if (error == 0)
        error = syncDescriptor(file.get());
    const int closeError = file.close();
    return error != 0 ? error : closeError;
}

int createTemporaryBeside(const std::string& folder, const std::string& name,
                          std::string& temporary, int& fd) {
    static std::atomic<unsigned> counter{0};
    fd = -1;
    for (int attempt = 0; attempt < 20; ++attempt) {
        temporary = folder + "." + name + "." + std::to_string(processId()) + "-" +
                    std::to_string(counter++) + ".tmp";
        fd = createExclusive(temporary);
        if (fd >= 0)
            return 0;
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

int readWholeFile(const std::string& path, std::vector<uint8_t>& bytes, uint64_t maxSize) {
    bytes.clear();
    int fd = -1;
    size_t size = 0;
    if (const int error = openRegularFile(path, maxSize, fd, size))
        return error;
    Descriptor file(fd);
    try {
        // A file that changes while it is read is read as it is, up to the bound.
        bytes.reserve(size);
        uint8_t chunk[65536];
        for (;;) {
            const long got = readDescriptor(file.get(), chunk, sizeof chunk);
            if (got < 0) {
                const int error = errno;
                bytes.clear();
                return error;
            }
            if (got == 0)
                break;
            if (bytes.size() + size_t(got) > maxSize) {
                bytes.clear();
                return kErrFileTooLarge;
            }
            bytes.insert(bytes.end(), chunk, chunk + got);
        }
    } catch (const std::bad_alloc&) {
        bytes.clear();
        bytes.shrink_to_fit();
        return ENOMEM;
    }
    return 0;
}

int writeTemporaryBeside(const std::string& path, const std::vector<uint8_t>& bytes,
                         std::string& temporary, const std::function<int(int fd)>& prepare) {
    temporary.clear();
    const std::string folder = folderOf(path);
    const std::string name = path.substr(folder.size());
    if (name.empty())
        return EISDIR;
    int fd = -1;
    if (const int error = createTemporaryBeside(folder, name, temporary, fd)) {
        temporary.clear();
        return error;
    }
    Descriptor file(fd);
    const int error = prepare ? prepare(file.get()) : 0;
    return error != 0 ? error : writeSyncClose(file, bytes);
}

}  // namespace files

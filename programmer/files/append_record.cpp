#include "programmer/files/append_record.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace files {

int appendRecord(const std::string& path, const std::string& record) {
    // O_APPEND puts each write at the end as one piece, also with other writers meanwhile.
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return errno;
    const ssize_t written = ::write(fd, record.data(), record.size());
    const int error = written < 0 ? errno : size_t(written) < record.size() ? ENOSPC : 0;
    ::close(fd);
    return error;
}

}  // namespace files

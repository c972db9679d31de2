// The file layer on Windows: the C run-time's descriptors in binary mode, which the readers use
// as on Linux; a replacing rename through MoveFileExW, as the run-time's rename refuses an
// existing target. Paths are UTF-8 inside and cross to Windows in UTF-16, so a name outside the
// ANSI code page opens on every Windows version.
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "platform/wide_text.h"
#include "programmer/files/file_descriptor.h"
#include "programmer/files/file_io.h"

namespace files {

long readDescriptor(int fd, uint8_t* data, size_t size) {
    return ::_read(fd, data, size > 0x40000000 ? 0x40000000u : unsigned(size));
}

long writeDescriptor(int fd, const uint8_t* data, size_t size) {
    return ::_write(fd, data, size > 0x40000000 ? 0x40000000u : unsigned(size));
}

int closeDescriptor(int fd) {
    return ::_close(fd) == 0 ? 0 : errno;
}

int syncDescriptor(int fd) {
    return ::_commit(fd) == 0 ? 0 : errno;
}

int createExclusive(const std::string& path) {
    return ::_wopen(platform::widen(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                   _S_IREAD | _S_IWRITE);
}

unsigned processId() {
    return unsigned(::_getpid());
}

// Either separator ends the folder on Windows.
std::string folderOf(const std::string& path) {
    const size_t separator = path.find_last_of("/\\");
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

int openRegularFile(const std::string& path, uint64_t maxSize, int& fd, size_t& size) {
    fd = -1;
    // A pipe or a device opens at once here; the type test below refuses it.
    Descriptor file(::_wopen(platform::widen(path).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT));
    if (file.get() < 0)
        return errno;
    struct _stat64 info {};
    if (::_fstat64(file.get(), &info) != 0)
        return errno;
    if ((info.st_mode & _S_IFMT) != _S_IFREG)
        return kErrNotRegularFile;
    if (info.st_size < 0 || uint64_t(info.st_size) > maxSize)
        return kErrFileTooLarge;
    size = size_t(info.st_size);
    fd = file.release();
    return 0;
}

int writeFileSafely(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::string temporary;
    int error = writeTemporaryBeside(path, bytes, temporary);
    const std::wstring from = platform::widen(temporary);
    if (error == 0 && !::MoveFileExW(from.c_str(), platform::widen(path).c_str(),
                                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = ::GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
    if (error != 0 && !temporary.empty())
        ::DeleteFileW(from.c_str());
    return error;
}

}  // namespace files

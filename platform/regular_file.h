#pragma once
// Opening files that a program only reads or appends to, where another name could stand: a FIFO
// would block the open (or the first read) until someone writes to it, a device or a folder is
// no file to read. These opens never block and hand out regular files only.

namespace platform {

enum class FileAccess {
    Read,    // reading only
    Append,  // reading and writing, every write at the end
};

// Opens the existing regular file `path`. -1 when there is none or the name is not a regular
// file (FIFO, device, folder, socket); errno then tells which (EINVAL for a file of another
// kind). The descriptor is closed across exec and blocks normally for its reads and writes.
int openRegularFile(const char* path, FileAccess access);

// Creates `path` as a new regular file readable and writable by its owner only; never opens an
// existing name (nor follows a link there): -1 with errno EEXIST then.
int createRegularFile(const char* path, FileAccess access);

// Removes the file `path`. 0 or an errno value.
int removeRegularFile(const char* path);

}  // namespace platform

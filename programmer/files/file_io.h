#pragma once
// Whole-file reading and writing for the update files. Results are 0 or an errno value, the
// numeric cause the programmer shows in "Can't open file %s, error = %u\n".

#include <cstdint>
#include <string>
#include <vector>

#include "programmer/files/update_file_format.h"

namespace files {

// Refusals of openRegularFile beside the errno values of the open itself.
constexpr int kErrNotRegularFile = -1;  // a FIFO, a device, a folder: reading it may never end
constexpr int kErrFileTooLarge = -2;    // larger than its format allows

// Opens `path` for reading without waiting for a writer (the open of a FIFO would block) and
// keeps it only when it is a regular file of at most `maxSize` bytes. On success `fd` is the
// open descriptor (the caller closes it) and `size` the file's length.
int openRegularFile(const std::string& path, uint64_t maxSize, int& fd, size_t& size);

// Reads the whole file, a regular file of at most `maxSize` bytes. On failure `bytes` is left
// empty.
int readWholeFile(const std::string& path, std::vector<uint8_t>& bytes,
                  uint64_t maxSize = kUpdateFileMaxSize);

// The message of a failed readWholeFile of an update file: "Can't open file %s, error = %u\n"
// for the causes of the platform's file layer, a plain sentence for the two refusals.
std::string cantOpenFileMessage(const std::string& path, int error);

// Where writing `path` puts the bytes: the file a symbolic link leads to (through any number of
// links, also to a file that does not exist yet), else `path` itself.
std::string writeTarget(const std::string& path);

// The folder part of `path` with its trailing '/'; empty for a name without one.
std::string folderOf(const std::string& path);

// The folder refused a new file (no permission, read-only); a file in it may still be writable.
bool isFolderRefusal(int error);

// Writes the bytes to a new file beside the write target and renames it over the target only
// when every byte is on disk, so a failure never leaves a half-written file or destroys an
// existing one. A replaced file keeps its permissions (and owner, where the process may set it);
// a link stays a link and its target is replaced. When the target's folder takes no new file
// but the target exists, the complete bytes are written into the target itself.
int writeFileSafely(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace files

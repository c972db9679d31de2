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

// Writes the bytes to a new file in the same folder and renames it over `path` only when every
// byte is on disk, so a failure never leaves a half-written file or destroys an existing one.
int writeFileSafely(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace files

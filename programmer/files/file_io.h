#pragma once
// Whole-file reading and writing for the update files. Results are 0 or an errno value, the
// numeric cause the programmer shows in "Can't open file %s, error = %u\n".

#include <cstdint>
#include <string>
#include <vector>

namespace files {

// Reads the whole file. On failure `bytes` is left empty.
int readWholeFile(const std::string& path, std::vector<uint8_t>& bytes);

// Writes the bytes to a new file in the same folder and renames it over `path` only when every
// byte is on disk, so a failure never leaves a half-written file or destroys an existing one.
int writeFileSafely(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace files

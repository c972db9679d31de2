#pragma once
// Records appended to a file that several programs may append to at once (the run records).

#include <string>

namespace files {

// Appends `record` in one write to the end of `path`, creating the file with the permissions the
// user's file mode mask leaves; never truncates it. 0, or an errno value (then nothing or, on a
// full disk, the part the system took was added).
int appendRecord(const std::string& path, const std::string& record);

}  // namespace files

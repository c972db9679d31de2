#pragma once
// Writing a file that must not exist yet (a new key, a signature written without leave to
// replace one): never half-written, never over another file.

#include <cstdint>
#include <string>
#include <vector>

namespace files {

// Writes `bytes` into a temporary file beside `path` and gives it the name `path` only when
// every byte is on disk, failing with EEXIST when `path` exists (also when it appeared in the
// meantime). `ownerOnly`: readable and writable by its owner alone (mode 0600) from before the
// first byte is written. 0 or an errno value; on failure nothing is left behind.
int writeNewFile(const std::string& path, const std::vector<uint8_t>& bytes, bool ownerOnly);

}  // namespace files

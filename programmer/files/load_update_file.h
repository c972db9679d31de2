#pragma once
// Turning the bytes of an update file into the model the main dialog and the programming run
// use. The comparison with the camera is the load flow's own step and not done here.

#include <cstdint>
#include <vector>

#include "programmer/files/loaded_update_file.h"
#include "programmer/files/update_file_reader.h"

namespace files {

// Clears the model (no device present, versions -1, no file name, no buffers), then checks the
// file. When it is accepted the model keeps the bytes as `image` with 100 spare bytes behind
// them, gets a `readBackImage` of the same size, and each device with a record is present with
// its header, data offset, variant and version. A refused file leaves the model cleared.
// `details`, when given, receives the reader's full result.
UpdateFileError loadUpdateFileIntoModel(std::vector<uint8_t> fileBytes, LoadedUpdateFile& model,
                                        UpdateFileReadResult* details = nullptr);

}  // namespace files

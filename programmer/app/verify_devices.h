#pragma once
// Reading devices back and comparing them with an update file's images, writing nothing: finds
// a device whose programming stopped part-way although it reports the new version.

#include <array>
#include <cstdint>
#include <vector>

#include "programmer/app/device_read_run.h"
#include "programmer/files/update_file_reader.h"

namespace app {

struct DeviceComparison {
    bool compared = false;         // the device was read completely and compared
    uint32_t firstDifference = 0;  // device address of the first byte that differs
    uint32_t differing = 0;        // number of bytes that differ; 0: the device matches
};

// For each row of `rows` (ascending; each must have a record in `file`, a file that
// readUpdateFile accepted from `bytes`) reads the record's region with the backup's reads and
// compares it; one that differs ends as failed with kErrReadBackMismatch. Runs through
// ReadDevicesOneByOne with its open, close and reboot steps, with `hooks` set for the run.
RunEnd VerifyDevices(ProgDlg& dialog, const std::vector<uint8_t>& bytes,
                     const files::UpdateFileReadResult& file, const std::vector<int>& rows,
                     std::array<DeviceComparison, kRowCount>& comparisons,
                     const RunHooks& hooks = {});

}  // namespace app

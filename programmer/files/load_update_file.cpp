#include "programmer/files/load_update_file.h"

#include <climits>
#include <new>
#include <utility>

namespace files {

namespace {
constexpr size_t kSpareBytes = 100;

void clearModel(LoadedUpdateFile& model) {
    model.freeBuffers();
    model.present.fill(false);
    model.record.fill(DeviceRecordHeader{});
    model.dataOffset.fill(0);
    model.loadedFileName.clear();
}
}  // namespace

UpdateFileError loadUpdateFileIntoModel(std::vector<uint8_t> fileBytes, LoadedUpdateFile& model,
                                        UpdateFileReadResult* details) {
    clearModel(model);
    UpdateFileReadResult result = readUpdateFile(fileBytes.data(), fileBytes.size());
    // Data offsets are held as int; a file beyond that range cannot be a camera's firmware.
    if (result.ok() && fileBytes.size() > size_t(INT_MAX) - kSpareBytes) {
        result.error = UpdateFileError::kCorrupt;
        result.fault = UpdateFileFault::kRecordPastEnd;
        result.devices = {};
    }
    if (details != nullptr)
        *details = result;
    if (!result.ok())
        return result.error;

    try {
        const size_t size = fileBytes.size() + kSpareBytes;
        fileBytes.resize(size);
        // Scratch space for read-back: its contents do not matter, only its size.
        model.readBackImage.resize(size);
        model.image = std::move(fileBytes);
    } catch (const std::bad_alloc&) {
        clearModel(model);
        return UpdateFileError::kOutOfMemory;
    }

    for (int i = 0; i < kDeviceCount; ++i) {
        const UpdateFileDevice& device = result.devices[size_t(i)];
        if (!device.present)
            continue;
        model.present[size_t(i)] = true;
        model.record[size_t(i)] = device.header;
        model.dataOffset[size_t(i)] = int(device.dataOffset);
    }
    return UpdateFileError::kNone;
}

}  // namespace files

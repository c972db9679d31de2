// The update file reader and the model filled from it: no read outside the bytes, and every
// accepted record lies inside them.

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "programmer/files/load_update_file.h"
#include "programmer/files/update_file_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<files::WalkedRecord> walked;
    const files::UpdateFileReadResult result = files::readUpdateFile(data, size, &walked);
    for (const auto& device : result.devices) {
        if (!device.present)
            continue;
        if (!result.ok() || device.dataOffset + device.header.dataLength > size)
            std::abort();
    }

    files::LoadedUpdateFile model;
    const files::UpdateFileError error =
        files::loadUpdateFileIntoModel(std::vector<uint8_t>(data, data + size), model);
    if (error != result.error)
        std::abort();
    for (int i = 0; i < files::kDeviceCount; ++i) {
        if (!model.present[size_t(i)])
            continue;
        const size_t end = size_t(model.dataOffset[size_t(i)]) + model.record[size_t(i)].dataLength;
        if (end > size || model.image.size() != size + 100)
            std::abort();
        // Touch the first and last data byte as the programming run would.
        if (model.record[size_t(i)].dataLength > 0) {
            volatile uint8_t first = model.data(i)[0];
            volatile uint8_t last = model.data(i)[model.record[size_t(i)].dataLength - 1];
            (void)first;
            (void)last;
        }
    }
    return 0;
}

// The name rule of device files and the choice of reader by extension, on any path text.

#include <string_view>

#include "programmer/files/device_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view path(reinterpret_cast<const char*>(data), size);
    files::VersionBlock version;
    files::parseDeviceFileNameText(path, version);
    files::readerForPath(path);
    return 0;
}

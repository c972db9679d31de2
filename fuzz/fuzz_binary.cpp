// ReadBinaryBytes: whatever the bytes, nothing is written outside the image and a success reports a
// range inside it.

#include "fuzz/fuzz_check.h"
#include "programmer/files/binary_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t>& image = fuzz::image();
    files::DeviceImageInfo info;
    const auto result = files::ReadBinaryBytes(data, size, image.data(), image.size(), info);
    fuzz::checkRange(result, info);
    return 0;
}

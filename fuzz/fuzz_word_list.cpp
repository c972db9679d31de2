// ReadWordListText: whatever the text, nothing is written outside the image and a success reports a
// range inside it.

#include <string_view>

#include "fuzz/fuzz_check.h"
#include "programmer/files/word_list_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t>& image = fuzz::image();
    files::DeviceImageInfo info;
    const auto result =
        files::ReadWordListText(std::string_view(reinterpret_cast<const char*>(data), size),
                                image.data(), image.size(), info);
    fuzz::checkRange(result, info);
    return 0;
}

#pragma once
// The update file of the worked example, for the tests of the files and of the console.

#include <cstdint>
#include <iterator>
#include <vector>

namespace files_test {

// The 112-byte update file of the worked example: one EEPROM record holding 01 02 03.
inline std::vector<uint8_t> workedExampleFile() {
    std::vector<uint8_t> file(std::begin("QEL Binary Update File V01.08  "),
                              std::end("QEL Binary Update File V01.08  "));
    const std::vector<uint8_t> header = {0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                         0x02, 0x00, 0x00, 0x00, 0x02, 0x03, 0x04, 0x00,
                                         0x0A, 0x14, 0x05, 0x06, 0xD8, 0x07};
    file.insert(file.end(), header.begin(), header.end());
    file.insert(file.end(), 10, 0xFF);
    file.insert(file.end(), {0x01, 0x02, 0x03});
    file.insert(file.end(), 13, 0xFF);
    file.insert(file.end(), {0x05, 0x18, 0x00, 0x00, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF});
    file.insert(file.end(), 10, 0x00);
    file.insert(file.end(), 10, 0xFF);
    return file;
}

}  // namespace files_test

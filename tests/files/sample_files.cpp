#include "tests/files/sample_files.h"

#include <cstdio>
#include <fstream>

namespace files_test {

std::string hexRecord(uint8_t type, uint16_t address, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> bytes = {uint8_t(data.size()), uint8_t(address >> 8), uint8_t(address),
                                  type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    uint8_t sum = 0;
    for (uint8_t b : bytes)
        sum = uint8_t(sum + b);
    bytes.push_back(uint8_t(0x100 - sum));
    std::string line = ":";
    char digits[3];
    for (uint8_t b : bytes) {
        std::snprintf(digits, sizeof digits, "%02X", b);
        line += digits;
    }
    return line + "\n";
}

std::vector<uint8_t> bitFile(const std::string& partName, bool patternA, size_t gap,
                             const std::vector<uint8_t>& bitstream) {
    std::vector<uint8_t> file = {0x00, 0x09, 0x0F, 0xF0, 0x0F, 0xF0, 0x0F,
                                 0xF0, 0x0F, 0xF0, 0x00, 0x00, 0x01};
    auto field = [&](char key, const std::string& text) {
        file.push_back(uint8_t(key));
        const size_t length = text.size() + 1;
        file.push_back(uint8_t(length >> 8));
        file.push_back(uint8_t(length));
        file.insert(file.end(), text.begin(), text.end());
        file.push_back(0);
    };
    field('a', "design.ncd;UserID=0xFFFFFFFF");
    field('b', partName);
    field('c', "2008/06/05");
    field('d', "10:20:00");
    const size_t streamLength = gap + 8 + bitstream.size();
    file.push_back('e');
    for (int shift = 24; shift >= 0; shift -= 8)
        file.push_back(uint8_t(streamLength >> shift));
    file.insert(file.end(), gap, 0x00);
    const std::vector<uint8_t> pattern =
        patternA ? std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 0xAA, 0x99, 0x55, 0x66}
                 : std::vector<uint8_t>(8, 0xFF);
    file.insert(file.end(), pattern.begin(), pattern.end());
    file.insert(file.end(), bitstream.begin(), bitstream.end());
    return file;
}

std::vector<uint8_t> workedExampleFile() {
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

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

}  // namespace files_test

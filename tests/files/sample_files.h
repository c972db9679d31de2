#pragma once
// Device and update file contents for the tests (and, written out, the fuzzers' seeds).

#include <cstdint>
#include <string>
#include <vector>

namespace files_test {

// One Intel HEX record line with its checksum, e.g. hexRecord(0x04, 0, {0x80, 0x00}).
std::string hexRecord(uint8_t type, uint16_t address, const std::vector<uint8_t>& data);
std::string hexEndRecord();

// A bit file: header mark, fields a-e, `gap` filler bytes, the start pattern, the bitstream.
std::vector<uint8_t> bitFile(const std::string& partName, bool patternA, size_t gap,
                             const std::vector<uint8_t>& bitstream);

// The 112-byte update file of the worked example: one EEPROM record holding 01 02 03.
std::vector<uint8_t> workedExampleFile();

// Writes bytes to a file; true on success.
bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes);
bool writeFile(const std::string& path, const std::string& text);

// A fresh folder for one test, removed by the destructor.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::string path(const std::string& name) const { return folder_ + "/" + name; }
    const std::string& folder() const { return folder_; }

private:
    std::string folder_;
};

}  // namespace files_test

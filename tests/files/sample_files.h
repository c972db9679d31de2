#pragma once
// Device and update file contents for the tests.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/temp_folder.h"

namespace files_test {

// One Intel HEX record line with its checksum, e.g. hexRecord(0x04, 0, {0x80, 0x00}).
std::string hexRecord(uint8_t type, uint16_t address, const std::vector<uint8_t>& data);
inline std::string hexEndRecord() {
    return ":00000001FF\n";
}

// A bit file: header mark, fields a-e, `gap` filler bytes, the start pattern, the bitstream.
std::vector<uint8_t> bitFile(const std::string& partName, bool patternA, size_t gap,
                             const std::vector<uint8_t>& bitstream);

// The 112-byte update file of the worked example: one EEPROM record holding 01 02 03.
std::vector<uint8_t> workedExampleFile();

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes);
inline bool writeFile(const std::string& path, const std::string& text) {
    return writeFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

using tools::TempFolder;

}  // namespace files_test

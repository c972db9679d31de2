#pragma once
// Reading an update file from the bytes of the whole file: the tag check and the walk over the
// records with the checksum. Nothing outside the given bytes is ever read.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "programmer/files/update_file_format.h"

namespace files {

// The two refusals the user sees.
enum class UpdateFileError {
    kNone,
    kNotUpdateFile,  // "This is not a %s\n" with the tag text
    kCorrupt,        // "File is corrupt\n"
    kOutOfMemory,    // "Memory allocation error\n" (the loader's buffers)
};

constexpr const char* kNotUpdateFileFormat = "This is not a %s\n";
constexpr const char* kFileCorruptMessage = "File is corrupt\n";
constexpr const char* kMemoryErrorMessage = "Memory allocation error\n";

// The message shown for an error; empty for kNone.
std::string updateFileErrorMessage(UpdateFileError error);

// Why a file was refused, for tools and logs; the user sees only the two messages above.
enum class UpdateFileFault {
    kNone,
    kTag,             // the text up to the first 0x00 is not the tag
    kTooShort,        // no room for the tag and an end record
    kNoEndRecord,     // the bytes end where a record header should be
    kRecordPastEnd,   // a record's data and padding run past the end of the bytes
    kBadDeviceIndex,  // a device index outside 0-4 other than -1
    kChecksum,        // the sum of the record bytes differs from the end record's
};
const char* updateFileFaultText(UpdateFileFault fault);

// A device's record as the walk found it (the last one wins for a device that has several).
struct UpdateFileDevice {
    bool present = false;
    DeviceRecordHeader header;
    size_t recordOffset = 0;  // file offset of the header
    size_t dataOffset = 0;    // recordOffset + 32
};

// One record header in file order, for listing a file.
struct WalkedRecord {
    size_t fileOffset = 0;
    DeviceRecordHeader header;
};

struct UpdateFileReadResult {
    UpdateFileError error = UpdateFileError::kNotUpdateFile;
    UpdateFileFault fault = UpdateFileFault::kTag;
    size_t faultOffset = 0;  // where the walk stopped on a fault

    bool tagValid = false;
    // Filled only for an accepted file; a refused file presents no device.
    std::array<UpdateFileDevice, kDeviceCount> devices{};

    bool endRecordFound = false;
    size_t endRecordOffset = 0;
    uint32_t storedChecksum = 0;
    uint32_t computedChecksum = 0;

    bool ok() const { return error == UpdateFileError::kNone; }
    std::string message() const { return updateFileErrorMessage(error); }
};

// True when the bytes start with the tag: the text up to the first 0x00 equals it exactly.
bool hasUpdateFileTag(const uint8_t* bytes, size_t size);

// Checks and walks the file. When `walked` is given, every device record the walk passed is
// appended to it (also for a refused file, up to the fault); only that list allocates.
UpdateFileReadResult readUpdateFile(const uint8_t* bytes, size_t size,
                                    std::vector<WalkedRecord>* walked = nullptr);

}  // namespace files

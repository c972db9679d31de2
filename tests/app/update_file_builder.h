#pragma once
// Update files for the dialog tests, written into a scratch folder that goes with the object.

#include <string>
#include <vector>

#include "programmer/files/file_io.h"
#include "programmer/files/update_file_writer.h"
#include "tools/temp_folder.h"

namespace apptest {

struct FileRecord {
    int row = 0;
    int major = 1;
    int minor = 0;
    uint16_t variant = 1;
    std::vector<uint8_t> data{1, 2, 3};
    uint32_t startOffset = 0;
};

class UpdateFiles {
public:
    // The bytes of a well-formed file with these records (ascending rows).
    static std::vector<uint8_t> bytesOf(const std::vector<FileRecord>& records) {
        files::UpdateFileWriter writer;
        for (const FileRecord& r : records) {
            files::VersionBlock version;
            version.versionMajor = uint8_t(r.major);
            version.versionMinor = uint8_t(r.minor);
            version.variant = r.variant;
            writer.addRecord(r.row, r.startOffset, version, r.data.data(), uint32_t(r.data.size()));
        }
        std::vector<uint8_t> bytes;
        writer.finish(bytes);
        return bytes;
    }
    // Writes `bytes` (or a file of `records`) as `name` and returns the full path.
    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        files::writeFileSafely(folder.path(name), bytes);
        return folder.path(name);
    }
    std::string write(const std::string& name, const std::vector<FileRecord>& records) const {
        return write(name, bytesOf(records));
    }

    tools::TempFolder folder;
};

}  // namespace apptest

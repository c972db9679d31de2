#pragma once
// Update files for the dialog tests, written into a temporary folder that goes with the object.

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "programmer/files/file_io.h"
#include "programmer/files/update_file_writer.h"

namespace apptest {

struct RecordSpec {
    int row = 0;
    int major = 1;
    int minor = 0;
    uint16_t variant = 1;
    std::vector<uint8_t> data{1, 2, 3};
    uint32_t startOffset = 0;
};

class UpdateFiles {
public:
    UpdateFiles() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kf_app_XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr)
            folder_ = pattern;
    }
    ~UpdateFiles() {
        std::error_code ignored;
        if (!folder_.empty())
            std::filesystem::remove_all(folder_, ignored);
    }
    UpdateFiles(const UpdateFiles&) = delete;
    UpdateFiles& operator=(const UpdateFiles&) = delete;

    const std::string& folder() const { return folder_; }

    // The bytes of a well-formed file with these records (ascending rows).
    static std::vector<uint8_t> bytesOf(const std::vector<RecordSpec>& records) {
        files::UpdateFileWriter writer;
        for (const RecordSpec& r : records) {
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

    // Writes `bytes` as `name` into the folder and returns the full path.
    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        const std::string path = folder_ + "/" + name;
        files::writeFileSafely(path, bytes);
        return path;
    }
    std::string write(const std::string& name, const std::vector<RecordSpec>& records) const {
        return write(name, bytesOf(records));
    }

private:
    std::string folder_;
};

}  // namespace apptest

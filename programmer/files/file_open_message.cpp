#include "programmer/files/file_io.h"

namespace files {

std::string cantOpenFileMessage(const std::string& path, int error) {
    if (error == kErrNotRegularFile)
        return "Can't open file " + path + ": it is not a regular file\n";
    if (error == kErrFileTooLarge)
        return "Can't open file " + path + ": larger than an update file can be (" +
               std::to_string(kUpdateFileMaxSize) + " bytes)\n";
    return "Can't open file " + path + ", error = " + std::to_string(unsigned(error)) + "\n";
}

}  // namespace files

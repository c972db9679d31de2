#include "programmer/app/packet_file_names.h"

#include <cstdio>

namespace app {

namespace {
std::string serialSuffix(const char* format, uint32_t serialNumber) {
    char text[64];
    std::snprintf(text, sizeof text, format, int(serialNumber));
    return text;
}
}  // namespace

std::string BackupFileName(const std::string& loadedFileName, uint32_t serialNumber) {
    const size_t extension = loadedFileName.find(".qup");
    const std::string base =
        extension == std::string::npos ? std::string() : loadedFileName.substr(0, extension);
    return base + serialSuffix("_backup_%05d.qup", serialNumber);
}

std::string DefaultBackupFileName(uint32_t serialNumber) {
    return serialSuffix("qel_backup_%05d.qup", serialNumber);
}

std::string OutputNameRefusal(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (!name.empty() && name != "." && name != "..")
        return {};
    return "\"" + path + "\" names no file: give the update file a name.\n";
}

std::string WithUpdateFileExtension(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    return path.find('.', nameStart) == std::string::npos ? path + ".qup" : path;
}

}  // namespace app

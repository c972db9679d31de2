#include "programmer/files/device_file.h"

#include <array>
#include <cctype>

#include "platform/file_times.h"
#include "programmer/files/binary_reader.h"
#include "programmer/files/device_file_result.h"
#include "programmer/files/file_probe.h"
#include "programmer/files/intel_hex_reader.h"
#include "programmer/files/jedec_reader.h"
#include "programmer/files/text_numbers.h"
#include "programmer/files/word_list_reader.h"
#include "programmer/files/xilinx_bit_reader.h"

namespace files {

namespace {
constexpr size_t kMinPathLength = 5;

struct ReaderByExtension {
    std::string_view extension;
    DeviceFileReader reader;
};
constexpr std::array<ReaderByExtension, 9> kReaders = {{
    {".hex", ReadIntelHex},
    {".eep", ReadIntelHex},
    {".rom", ReadWordList},
    {".bin", ReadBinary},
    {".bit", ReadXilinxBit},
    {".jed", ReadJedec},
    {".xml", ReadBinary},
    {".iic", ReadBinary},
    {".chk", ReadBinary},
}};

// Drops everything up to and including the next "_"; false when there is none.
bool skipPastUnderscore(std::string_view& text) {
    const size_t underscore = text.find('_');
    if (underscore == std::string_view::npos)
        return false;
    text.remove_prefix(underscore + 1);
    return true;
}

void setCreationTime(const std::string& path, VersionBlock& version) {
    // Only a regular file has a creation time worth taking; nothing is opened, so a FIFO given
    // as a device file cannot block here.
    if (!isRegularFile(path))
        return;
    platform::UtcTime time;
    if (platform::fileCreationTimeUtc(path, time) == 0) {
        version.hour = uint8_t(time.hour);
        version.minute = uint8_t(time.minute);
        version.day = uint8_t(time.day);
        version.month = uint8_t(time.month);
        version.year = uint16_t(time.year);
    }
}
}  // namespace

bool parseDeviceFileNameText(std::string_view path, VersionBlock& version) {
    // Only the file name counts, whichever separator came before it.
    for (char separator : {'/', '\\', ':'}) {
        const size_t cut = path.rfind(separator);
        if (cut != std::string_view::npos)
            path.remove_prefix(cut + 1);
    }
    uint32_t number;
    if (!skipPastUnderscore(path) || !parseDecimalLowBits(path, number))
        return false;
    version.variant = uint16_t(number);
    if (!skipPastUnderscore(path) || path.empty() || (path[0] != 'V' && path[0] != 'v'))
        return false;
    path.remove_prefix(1);
    if (!parseDecimalLowBits(path, number))
        return false;
    version.versionMajor = uint8_t(number);
    if (!skipPastUnderscore(path) || !parseDecimalLowBits(path, number))
        return false;
    version.versionMinor = uint8_t(number);
    return true;
}

bool ParseDeviceFileName(const std::string& path, VersionBlock& version) {
    version = VersionBlock{};
    setCreationTime(path, version);
    return parseDeviceFileNameText(path, version);
}

DeviceFileReader readerForPath(std::string_view path) {
    if (path.size() < 4)
        return nullptr;
    std::string extension(path.substr(path.size() - 4));
    for (char& c : extension)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    for (const ReaderByExtension& entry : kReaders)
        if (entry.extension == extension)
            return entry.reader;
    return nullptr;
}

protocol::ErrorCode ReadDeviceFile(const std::string& path, uint8_t* image, size_t imageSize,
                                   DeviceImageInfo& info) {
    if (path.size() < kMinPathLength)
        return ERR_FILE_NAME;
    VersionBlock version;
    // A name without variant and version is reported like a file that cannot be opened.
    if (!ParseDeviceFileName(path, version))
        return ERR_FILE_OPEN;
    const DeviceFileReader reader = readerForPath(path);
    if (reader == nullptr)
        return ERR_FILE_NAME;
    DeviceImageInfo read;
    const protocol::ErrorCode result = reader(path, image, imageSize, read);
    if (result != READ_OK)
        return result;
    read.version = version;
    info = read;
    return READ_OK;
}

}  // namespace files

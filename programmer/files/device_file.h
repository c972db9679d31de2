#pragma once
// Reading one device file into the caller's image buffer: the name gives the variant and
// version, the extension chooses the reader.

#include <cstdint>
#include <string>
#include <string_view>

#include "programmer/files/device_image.h"
#include "protocol/error_codes.h"

namespace files {

// The packet builder's one entry point. The result is READ_OK or one of the ERR_FILE_ codes
// (device_file_result.h); on success the image holds the data and `info` is complete.
protocol::ErrorCode ReadDeviceFile(const std::string& path, uint8_t* image, size_t imageSize,
                                   DeviceImageInfo& info);

// The version block of a device file: variant and version from a name of the form
// <prefix>_<variant>_V<major>_<minor>..., the time stamp from the file's creation time in UTC
// (left 0 when the file cannot be opened). False when the name does not have that form.
bool ParseDeviceFileName(const std::string& path, VersionBlock& version);

// The name part of ParseDeviceFileName: sets variant and version only.
bool parseDeviceFileNameText(std::string_view path, VersionBlock& version);

using DeviceFileReader = protocol::ErrorCode (*)(const std::string& path, uint8_t* image,
                                                 size_t imageSize, DeviceImageInfo& info);
// The reader for the path's extension (its last four characters, in any case), or nullptr.
DeviceFileReader readerForPath(std::string_view path);

}  // namespace files

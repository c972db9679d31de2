#pragma once
// The names of the update files that the packet flows write.

#include <cstdint>
#include <string>

namespace app {

// The backup of a loaded file: its name up to its first ".qup" (case-sensitive; none: an empty
// base), then "_backup", the serial number as "_%05d" and ".qup". fw.qup and 7 give
// fw_backup_00007.qup; fw.QUP gives _backup_00007.qup.
std::string BackupFileName(const std::string& loadedFileName, uint32_t serialNumber);
// The backup name when no file is loaded and the save dialog was cancelled.
std::string DefaultBackupFileName(uint32_t serialNumber);
// `path` with ".qup" appended when its file name has no extension.
std::string WithUpdateFileExtension(const std::string& path);
// Why `path` cannot be the name of an update file to write: it is empty or ends in a folder
// separator, "." or "..", so it names a folder or nothing. Empty when it names a file.
std::string OutputNameRefusal(const std::string& path);

}  // namespace app

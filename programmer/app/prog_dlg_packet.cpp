// Packet: in device packet mode the checked devices are read out of the camera into a backup
// update file; in file packet mode an update file is built from one device file per checked
// device. Both build the whole file in memory and write it beside the target, renaming it over
// the target only when complete: a failed or interrupted run never leaves a half-written file
// and never destroys the file that was there.

#include <array>
#include <cerrno>
#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "programmer/app/device_read_run.h"
#include "programmer/app/packet_file_names.h"
#include "programmer/app/prog_dlg.h"
#include "programmer/camera/device_backup.h"
#include "programmer/files/device_file.h"
#include "programmer/files/device_file_result.h"
#include "programmer/files/file_io.h"
#include "programmer/files/file_probe.h"
#include "programmer/files/update_file_writer.h"

namespace app {

namespace {

using protocol::ErrorCode;

constexpr const char* kUpdateFileFilter = "qel.update files (*.qup)|*.qup||";
constexpr std::array<const char*, kRowCount> kDeviceFileFilters = {
    "TARUN Hex-file (*.hex)|*.hex||", "MELIK Bit-file (*.bit)|*.bit||",
    "OSVAR EEPROM-file (*.bin)|*.bin||", "BRUNE EEPROM-file (*.jed)|*.jed||",
    "KAVI Bit-file (*.bit)|*.bit||"};
constexpr uint32_t kPllRecordLength = 164;
constexpr size_t kFpgaLengthField = 28;
constexpr uint32_t kFpgaHeaderSize = 32;  // version block, ..., length field

std::string format1(const char* format, const std::string& a) {
    char text[512];
    std::snprintf(text, sizeof text, format, a.c_str());
    return text;
}

std::string format2(const char* format, const std::string& a, const std::string& b) {
    char text[1024];
    std::snprintf(text, sizeof text, format, a.c_str(), b.c_str());
    return text;
}

std::string cannotOpenText(const std::string& name, int error) {
    char text[600];
    std::snprintf(text, sizeof text, "Can't open file %s, error = %u\n", name.c_str(),
                  unsigned(error));
    return text;
}

FileDialogRequest updateFileDialog() {
    FileDialogRequest request;
    request.filter = kUpdateFileFilter;
    request.confirmOverwrite = false;  // the flows ask themselves
    return request;
}

enum class Target { kWritable, kKept, kRefused };

// Finds out before a long run whether the file can be written at all (kRefused after the
// message, before any question), then asks before an existing file is replaced.
Target checkTarget(Host& host, const std::string& name) {
    if (const int error = files::checkCanCreate(name)) {
        host.warning(cannotOpenText(name, error));
        return Target::kRefused;
    }
    if (files::pathExists(name) &&
        !host.askYesNoWithoutIcon(
            format1("File %s already exists.\nDo you want to overwrite it?\n", name)))
        return Target::kKept;
    return Target::kWritable;
}

// False after the message when the user's answer to the save dialog names no file.
bool namesAFile(Host& host, const std::string& chosen) {
    const std::string refusal = OutputNameRefusal(chosen);
    if (!refusal.empty())
        host.warning(refusal);
    return refusal.empty();
}

void ShowDeviceFileError(Host& host, ErrorCode code) {
    const char* text = files::deviceFileErrorText(code);
    host.warning(*text != '\0' ? text : files::deviceFileErrorText(files::ERR_FILE_READ));
}

void putU32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = uint8_t(value >> (8 * i));
}

// Writes the finished file beside `name` and renames it over `name`; false after the message.
bool writeUpdateFile(Host& host, files::UpdateFileWriter& writer, const std::string& name) {
    std::vector<uint8_t> bytes;
    int error = writer.finish(bytes) == 0 ? 0 : ENOMEM;
    if (error == 0)
        error = files::writeFileSafely(name, bytes);
    if (error != 0)
        host.warning(cannotOpenText(name, error));
    return error == 0;
}

// Adds the record of one device file as the packet builder stores it.
ErrorCode addDeviceFileRecord(files::UpdateFileWriter& writer, int row, std::vector<uint8_t>& image,
                              const files::DeviceImageInfo& info) {
    const files::VersionBlock& version = info.version;
    const auto length = uint32_t(info.length());
    switch (row) {
        case 0:
            // The version block goes into the image's first bytes; it is part of the record only
            // when the data start below byte 10.
            version.encode(image.data());
            return writer.addRecord(row, uint32_t(info.lowestOffset), version,
                                    image.data() + info.lowestOffset, length);
        case 1:
            // The camera finds the image's length and version in its first 32 bytes.
            if (length < kFpgaHeaderSize)
                return files::ERR_FILE_DATA;
            putU32(&image[kFpgaLengthField], length - kFpgaHeaderSize);
            version.encode(image.data());
            return writer.addRecord(row, 0, version, image.data(), length);
        case 3:
            return writer.addRecord(row, 0, version, image.data(), kPllRecordLength);
        default:
            return writer.addRecord(row, 0, version, image.data(), length);
    }
}

}  // namespace

std::optional<std::string> ProgDlg::AskOutputFile() {
    if (namedFiles_.output)
        return namedFiles_.output;
    return host_.saveFileDialog(updateFileDialog());
}

std::optional<std::string> ProgDlg::AskDeviceFile(int row) {
    if (namedFiles_.output)
        return namedFiles_.devices[size_t(row)];
    FileDialogRequest request;
    request.filter = kDeviceFileFilters[size_t(row)];
    return host_.openFileDialog(request);
}

void ProgDlg::OnPacket() {
    packetError.clear();
    if (options.packetMode == kPacketDevice) {
        ShowStatus("Reading Devices and write Backup File");
        if (CreateBackup() < 0) {
            ShowStatus(packetError.empty() ? "Error in Backup" : packetError);
        } else {
            ShowStatus("Creating qel.update file done");
        }
        RefreshControls();
    } else if (options.packetMode == kPacketFile) {
        ShowStatus("Creating Packet from Files, or close programmer");
        if (CreatePacketFromFiles() < 0)
            ShowStatus("Error in Creating Programmer File");
        model.enable(kIdPacket);
        model.enable(kIdQuit);
        RefreshControls();
    }
}

int ProgDlg::CreateBackup() {
    packetFileWritten = false;
    DisableAllControls();
    const uint32_t serial = camera ? camera->serialNumber : 0;
    if (!loaded.loadedFileName.empty()) {
        packetFileName = BackupFileName(loaded.loadedFileName, serial);
    } else if (auto chosen = AskOutputFile()) {
        packetFileName = *chosen;
        if (!namesAFile(host_, *chosen))
            return -1;
        packetFileName = WithUpdateFileExtension(*chosen);
    } else {
        packetFileName = DefaultBackupFileName(serial);
    }
    if (const Target target = checkTarget(host_, packetFileName); target != Target::kWritable)
        return target == Target::kKept ? 0 : -1;

    files::UpdateFileWriter writer;
    RowProgress progress(*this);
    const ReadRunTexts texts{"Creating backup: Reading %s Flash",
                             "Backup: Error Open Device!\nPlease contact QEL AG!\n"};
    const RunEnd end =
        ReadDevicesOneByOne(*this, CheckedAvailableDevices(*this), texts, [&](int row) {
            camera::DeviceContents contents;
            const std::optional<files::VersionBlock> reported = ReportedVersion(row);
            ErrorCode result = camera::ReadDeviceContents(
                *camera, row, reported ? &*reported : nullptr, contents, progress, waitHost_);
            // A device read part-way gets no record: the file holds only complete images.
            if (result == 0)
                result = writer.addRecord(row, contents.startOffset, contents.version,
                                          contents.data.data(), uint32_t(contents.data.size()));
            return result;
        });
    if (end != RunEnd::kCompleted)
        return -1;

    std::string unread;
    for (int row = 0; row < kRowCount; ++row) {
        if (deviceResults[size_t(row)].result != DeviceResult::kFailed)
            continue;
        unread += (unread.empty() ? "" : ", ") + RowLabel(*this, row);
    }
    if (!unread.empty()) {
        // A backup that lacks a device the user asked for is not written at all.
        packetError = format1("Error in Backup: reading %s failed, no file written", unread);
        return -1;
    }
    if (!writeUpdateFile(host_, writer, packetFileName))
        return -1;
    packetFileWritten = true;
    return 0;
}

int ProgDlg::CreatePacketFromFiles() {
    packetFileWritten = false;
    DisableAllControls();
    const std::optional<std::string> chosen = AskOutputFile();
    if (!chosen) {
        packetFileName.clear();
        return 0;
    }
    packetFileName = *chosen;
    if (!namesAFile(host_, *chosen))
        return -1;
    packetFileName = WithUpdateFileExtension(*chosen);
    if (const Target target = checkTarget(host_, packetFileName); target != Target::kWritable)
        return target == Target::kKept ? 0 : -1;

    files::UpdateFileWriter writer;
    std::vector<uint8_t> image;
    for (int row = 0; row < kRowCount; ++row) {
        if (!IsDeviceChecked(row))
            continue;
        const std::optional<std::string> path = AskDeviceFile(row);
        if (!path) {
            // No file chosen: the device file cannot be read.
            ShowDeviceFileError(host_, files::ERR_FILE_OPEN);
            return -1;
        }
        try {
            image.assign(files::kDeviceImageSize, 0xFF);
        } catch (const std::bad_alloc&) {
            host_.warning("Memory allocation error\n");
            return -1;
        }
        const std::string label = RowLabel(*this, row);
        ShowStatus(format1("Creating qel.update file: Reading %s data from File", label));
        files::DeviceImageInfo info;
        ErrorCode result = files::ReadDeviceFile(*path, image.data(), image.size(), info);
        if (result == 0) {
            ShowStatus(
                format2("Creating qel.update file: Writing %s data to %s", label, packetFileName));
            result = addDeviceFileRecord(writer, row, image, info);
        }
        if (result != 0) {
            ShowDeviceFileError(host_, result);
            return -1;
        }
    }

    if (!writeUpdateFile(host_, writer, packetFileName))
        return -1;
    packetFileWritten = true;
    ShowStatus(format1("Creating qel.update file %s done", packetFileName));
    return 0;
}

}  // namespace app

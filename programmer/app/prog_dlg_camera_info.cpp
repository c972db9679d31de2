// Reading the camera's type, hardware boards and firmware versions into the dialog, and the
// Reboot flow.

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "programmer/app/contact.h"
#include "programmer/app/hardware_compatibility.h"
#include "programmer/app/prog_dlg.h"
#include "protocol/commands.h"
#include "protocol/reply_fields.h"

namespace app {

namespace {

using namespace protocol;

constexpr int kHardwareGiveUpAfter = 10;  // the attempt numbered above this is the last
// Page numbers are one byte, so no camera can deliver more records than this.
constexpr int kFirmwareRecordsMax = 256 * int(field::RECORDS_PER_REPLY);

// The record in `slot` of the reply last read; a slot the reply did not fill reads as an empty
// record, as the zeros of the reply buffer did.
FirmwareRecord recordOfSlot(const std::vector<FirmwareRecord>& records, size_t slot) {
    return slot < records.size() ? records[slot] : FirmwareRecord{};
}

}  // namespace

bool ProgDlg::ReadCameraInfo() {
    lastCameraInfoResult = ReadCameraInfoSteps();
    return lastCameraInfoResult;
}

bool ProgDlg::ReadCameraInfoSteps() {
    ShowStatus("Reading Camera Info");
    cameraTypeRead.reset();
    hardwareBoards.reset();
    if (!programmingRun) {
        deviceAvailable.fill(false);
        cameraVariant.fill(0xFFFF);
        cameraVersion.fill(-1);
        // A device the camera no longer reports shows no version, not the one it had before.
        for (int row = 0; row < kRowCount; ++row) SetCurrentFwText(row, kNoVersionText);
    }
    if (!camera) return false;
    if (camera->bootMode) {
        deviceAvailable[files::kRowMainUp] = true;
        return false;
    }

    std::array<uint8_t, cap::GET_CAMERA_TYPE> typeReply{};
    const Request typeRequest = simpleRequest(cmd::GET_CAMERA_TYPE);
    const ErrorCode typed = camera->Command(typeRequest.data(), typeRequest.size, typeReply.data(),
                                            typeReply.size(), timeout::GET_CAMERA_TYPE);
    const auto identity =
        typed == kOk ? cameraTypeOf(typeReply.data(), typeReply.size()) : std::nullopt;
    if (!identity) {
        host_.warning(WithContactLine("Error reading camera type info!\nPlease contact QEL AG!\n"));
        return false;
    }
    const uint16_t cameraType = identity->type;
    cameraTypeRead = cameraType;

    bool result = false;
    if (!ReadHardwareRecords(cameraType, result)) return result;
    if (!ReadFirmwareRecords(cameraType, result)) return result;
    ShowStatus("");
    return true;
}

// False when the flow ends here, with `result` as ReadCameraInfo's answer.
bool ProgDlg::ReadHardwareRecords(uint16_t cameraType, bool& result) {
    ShowStatus("Reading Camera Hardware Info");
    std::array<uint8_t, cap::GET_HARDWARE_VERSIONS> reply{};
    const Request request = simpleRequest(cmd::GET_HARDWARE_VERSIONS);
    std::optional<std::vector<HardwareRecord>> boards;
    for (int attempt = 0;; ++attempt) {
        reply.fill(0);
        const ErrorCode code = camera->Command(request.data(), request.size, reply.data(), reply.size(),
                                               timeout::GET_HARDWARE_VERSIONS);
        // A reply that does not carry the records it announces is asked again like a failed one.
        if (code == kOk) boards = hardwareRecordsOf(reply.data(), reply.size());
        if (code == kOk && boards && !boards->empty())
            break;
        host_.clock().sleepFor(platform::Milliseconds(100));
        ShowStatus(std::string("Reading Camera Hardware Info ") + camera::spinnerChar(attempt));
        if (attempt > kHardwareGiveUpAfter) {
            const std::string message =
                WithContactLine("Error reading camera hardware info!\nPlease contact QEL AG!\n");
            if (options.emergencyMode) {
                result = host_.askYesNo(message + "Ignore this error\n", "");
            } else {
                host_.warning(message);
                result = false;
            }
            return false;
        }
    }

    hardwareBoards.emplace();
    for (const HardwareRecord& record : *boards)
        hardwareBoards->push_back({record.name, record.codeA, record.codeB});
    for (const HardwareBoard& board : *hardwareBoards) {
        const auto entry = HardwareEntryOf(board.name);
        if (!entry || IsHardwareCompatible(*entry, board.codeA, board.codeB, cameraType))
            continue;
        std::string message = std::string(ProgramTitle) + " error" + "Camera hardware error! Device " +
                              board.name + " is incompatible.\n";
        if (options.emergencyMode) {
            message += WithContactLine(
                "Please download newer/compatible qel.programmer or contact QEL AG!\n");
            result = host_.askYesNo(message + "Ignore this error\n", "");
        } else {
            message += WithContactLine(
                "Please download newer/compatible qel.programmer or contact QEL AG\n");
            host_.warning(message);
            result = false;
        }
        return false;
    }
    return true;
}

bool ProgDlg::ReadFirmwareRecords(uint16_t cameraType, bool& result) {
    ShowStatus("Reading Camera Firmware Info");
    std::array<uint8_t, cap::GET_FIRMWARE_VERSIONS> reply{};
    const Request firstPage = firmwarePageRequest(0);
    ErrorCode code = camera->Command(firstPage.data(), firstPage.size, reply.data(), reply.size(),
                                     timeout::GET_FIRMWARE_VERSIONS_PAGE);
    bool paged = true;
    if ((code & kCamPagedUnsupportedMask) != 0) {
        paged = false;
        reply.fill(0);
        const Request unpaged = simpleRequest(cmd::GET_FIRMWARE_VERSIONS);
        code = camera->Command(unpaged.data(), unpaged.size, reply.data(), reply.size(),
                               timeout::GET_FIRMWARE_VERSIONS);
    }
    // A first reply without the records it announces is as unreadable as none.
    std::optional<FirmwareRecords> first;
    if (code == kOk) first = firmwareRecordsOf(reply.data(), reply.size());
    if (code == kOk && !first) code = kErrReplyShort;
    if (code != kOk) {
        host_.warning("Error reading camera firmware info!\nPlease try to reflash Main µP and FireWire µP!");
        deviceAvailable[files::kRowMainUp] = true;
        SetCurrentFwText(files::kRowMainUp, kNoVersionText);
        result = true;
        return false;
    }

    const int count = std::min(int(first->announced), kFirmwareRecordsMax);
    const char* bootloaderName = bootloaderRecordName(cameraType);
    bool bootloaderFound = false;
    for (const FirmwareRecord& record : first->records)
        if (record.name == bootloaderName) bootloaderFound = true;
    if (!bootloaderFound && options.interfaceType == kInterfaceCameraLink) {
        host_.warning("Old bootloader found\nProgramming with this Interface type not allowed");
        result = false;
        return false;
    }

    const int perReply = int(field::RECORDS_PER_REPLY);
    std::vector<FirmwareRecord> records = std::move(first->records);
    for (int j = 0; j < count; ++j) {
        if (paged && count > perReply && j > 0 && j % perReply == 0) {
            // A page that does not come leaves nothing trustworthy to read on.
            reply.fill(0);
            const Request page = firmwarePageRequest(uint8_t(j / perReply));
            std::optional<std::vector<FirmwareRecord>> pageRecords;
            if (camera->Command(page.data(), page.size, reply.data(), reply.size(),
                                timeout::GET_FIRMWARE_VERSIONS_PAGE) == kOk)
                pageRecords = firmwarePageRecordsOf(reply.data(), reply.size(),
                                                    size_t(j / perReply), size_t(count));
            if (!pageRecords) break;
            records = std::move(*pageRecords);
        }
        const FirmwareRecord record = recordOfSlot(records, size_t(j % perReply));
        for (int row = 0; row < kRowCount; ++row) {
            if (record.name != kFirmwareRecordNames[size_t(row)]) continue;
            deviceAvailable[size_t(row)] = true;
            SetCurrentFwText(row, formatVersion(record.variant, record.major, record.minor));
            cameraVariant[size_t(row)] = record.variant;
            cameraVersion[size_t(row)] = record.version();
        }
    }

    // Without the main microcontroller's version nothing can be compared or programmed safely.
    if (cameraVersion[files::kRowMainUp] < 0) {
        host_.warning(WithContactLine("Camera firmware/hardware is not compatible!\nPlease contact QEL AG!"));
        result = false;
        return false;
    }
    return true;
}

std::optional<files::VersionBlock> ProgDlg::ReportedVersion(int row) const {
    const int version = cameraVersion[size_t(row)];
    if (version < 0)
        return std::nullopt;
    files::VersionBlock block;
    block.versionMajor = uint8_t(version >> 8);
    block.versionMinor = uint8_t(version);
    block.variant = uint16_t(cameraVariant[size_t(row)]);
    return block;
}

void ProgDlg::OnReboot() { RebootCamera(); }

bool ProgDlg::RebootCamera() {
    ErrorCode rebooted = kErrNoCamera;
    {
        // The waits pump messages: no other button may start a flow meanwhile.
        ControlsLock lock(*this);
        if (camera) rebooted = camera->Reboot(waitHost_);
        if (rebooted == kOk) {
            camera->Close();
            if (factory_.openLink(*camera, options.portNumber) == kOk) camera->ReadCameraType();
            ReadCameraInfo();
        }
    }
    if (rebooted != kOk) {
        model.enable(kIdLoadFile, false);
        model.enable(kIdProgram, false);
        model.enable(kIdPacket, false);
        // What the status line asks for must be possible.
        model.enable(kIdSelectPort);
        model.enable(kIdQuit);
        ShowStatus(kConnectionLost);
        return false;
    }
    ShowStatus(kLoadOrSelect);
    return true;
}

}  // namespace app

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

// A zero-terminated name of at most `size` bytes inside a reply.
std::string nameAt(const uint8_t* bytes, size_t size) {
    const auto* text = reinterpret_cast<const char*>(bytes);
    return std::string(text, strnlen(text, size));
}

struct FirmwareReply {
    std::array<uint8_t, cap::GET_FIRMWARE_VERSIONS> bytes{};
    int count() const { return readU16(&bytes[field::RECORD_COUNT]); }
    FirmwareRecord record(int index) const { return firmwareRecordAt(bytes.data(), size_t(index)); }
};

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
    if (typed != kOk ||
        requireReply(typeReply.data(), typeReply.size(), field::CAMERA_TYPE + 2) != kOk) {
        host_.warning(WithContactLine("Error reading camera type info!\nPlease contact QEL AG!\n"));
        return false;
    }
    const uint16_t cameraType = readU16(&typeReply[field::CAMERA_TYPE]);
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
    size_t count = 0;
    for (int attempt = 0;; ++attempt) {
        reply.fill(0);
        const ErrorCode code = camera->Command(request.data(), request.size, reply.data(), reply.size(),
                                               timeout::GET_HARDWARE_VERSIONS);
        // A reply that does not carry the records it announces is asked again like a failed one.
        if (code == kOk && hardwareRecordsOf(reply.data(), reply.size(), count) && count >= 1)
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
    for (size_t index = 0; index < count; ++index) {
        const uint8_t* record = &reply[field::RECORDS + index * field::HARDWARE_RECORD_SIZE];
        hardwareBoards->push_back({nameAt(record, field::HARDWARE_NAME_SIZE),
                                   readU16(record + field::HARDWARE_CODE_A),
                                   readU16(record + field::HARDWARE_CODE_B)});
    }
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
    FirmwareReply reply;
    const Request firstPage = firmwarePageRequest(0);
    ErrorCode code = camera->Command(firstPage.data(), firstPage.size, reply.bytes.data(),
                                     reply.bytes.size(), timeout::GET_FIRMWARE_VERSIONS_PAGE);
    bool paged = true;
    if ((code & kCamPagedUnsupportedMask) != 0) {
        paged = false;
        reply.bytes.fill(0);
        const Request unpaged = simpleRequest(cmd::GET_FIRMWARE_VERSIONS);
        code = camera->Command(unpaged.data(), unpaged.size, reply.bytes.data(), reply.bytes.size(),
                               timeout::GET_FIRMWARE_VERSIONS);
    }
    // A first reply without the records it announces is as unreadable as none.
    size_t firstRecords = 0;
    if (code == kOk && !firmwareRecordsOf(reply.bytes.data(), reply.bytes.size(), firstRecords))
        code = kErrReplyShort;
    if (code != kOk) {
        host_.warning("Error reading camera firmware info!\nPlease try to reflash Main µP and FireWire µP!");
        deviceAvailable[files::kRowMainUp] = true;
        SetCurrentFwText(files::kRowMainUp, kNoVersionText);
        result = true;
        return false;
    }

    const int count = std::min(reply.count(), kFirmwareRecordsMax);
    const char* bootloaderName = bootloaderRecordName(cameraType);
    bool bootloaderFound = false;
    for (int index = 0; index < int(firstRecords); ++index)
        if (reply.record(index).name == bootloaderName) bootloaderFound = true;
    if (!bootloaderFound && options.interfaceType == kInterfaceCameraLink) {
        host_.warning("Old bootloader found\nProgramming with this Interface type not allowed");
        result = false;
        return false;
    }

    const int perReply = int(field::RECORDS_PER_REPLY);
    for (int j = 0; j < count; ++j) {
        if (paged && count > perReply && j > 0 && j % perReply == 0) {
            // A page that does not come leaves nothing trustworthy to read on.
            reply.bytes.fill(0);
            const Request page = firmwarePageRequest(uint8_t(j / perReply));
            size_t pageRecords = 0;
            if (camera->Command(page.data(), page.size, reply.bytes.data(), reply.bytes.size(),
                                timeout::GET_FIRMWARE_VERSIONS_PAGE) != kOk ||
                !firmwarePageRecordsOf(reply.bytes.data(), reply.bytes.size(), size_t(j / perReply),
                                       size_t(count), pageRecords))
                break;
        }
        const FirmwareRecord record = reply.record(j % perReply);
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

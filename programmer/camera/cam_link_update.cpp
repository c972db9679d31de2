#include "programmer/camera/cam_link_update.h"

#include <array>
#include <cstring>
#include <string>

#include "platform/places.h"
#include "programmer/camera/wait_cycle.h"
#include "programmer/files/update_file_format.h"
#include "protocol/commands.h"
#include "protocol/reply_fields.h"
#include "protocol/telegram.h"

namespace camera {

namespace {
constexpr int kInterfaceTypeCameraLink = 2;
constexpr uint32_t kSlowRate = 9600;
constexpr uint32_t kFastRate = 115200;
// Rates tried after each failed attempt of the baud-rate search, in this order.
constexpr std::array<uint32_t, 7> kSearchRates = {115200, 9600, 19200, 38400,
                                                  57600,  76800, 500000};
constexpr int kSearchAttempts = 8;
// A refused rate: the grabber's "invalid argument" kind of result.
constexpr uint32_t kRateRefusedBits = 0xA0000001;
constexpr uint32_t kFallbackRates[] = {38400, 19200};
constexpr int kRebootBootCycles = 25;
constexpr uint16_t kFastFpgaBootloader = 0x0106;

bool rateRefused(uint32_t result) { return (result & kRateRefusedBits) == kRateRefusedBits; }
}  // namespace

CCamLinkUpdate::CCamLinkUpdate(bool emergency, const std::string& libraryName) {
    emergencyMode = emergency;
    interfaceType = kInterfaceTypeCameraLink;
    // The library installed with the programs comes first; other names go to the loader's
    // search. Looking there explicitly also finds it when something between the program and the
    // loader (a sanitizer's interceptor) hides the program's own search path.
    if (library_.open(platform::installedLibraryPath(libraryName)) != 0) return;
    // Bound in this order; the first missing export releases the library.
    if (!(Open_Cam_Ext = library_.function<OpenCamExtFn>("Open_Cam_Ext")) ||
        !(Open_Cam = library_.function<OpenCamFn>("Open_Cam")) ||
        !(Close_Cam = library_.function<CloseCamFn>("Close_Cam")) ||
        !(Control_Command = library_.function<ControlCommandFn>("Control_Command")) ||
        !(Set_Timeouts = library_.function<SetTimeoutsFn>("Set_Timeouts")) ||
        !(Set_Transfer_Parameters =
              library_.function<SetTransferParametersFn>("Set_Transfer_Parameters"))) {
        Open_Cam_Ext = nullptr;
        Open_Cam = nullptr;
        Close_Cam = nullptr;
        Control_Command = nullptr;
        Set_Timeouts = nullptr;
        Set_Transfer_Parameters = nullptr;
        library_.close();
        return;
    }
    libraryReady_ = true;
}

CCamLinkUpdate::~CCamLinkUpdate() {
    if (libraryReady_ && handle_ != 0) Close_Cam(&handle_);
    handle_ = 0;
}

ErrorCode CCamLinkUpdate::Command(const uint8_t* command, uint32_t size, uint8_t* reply,
                                  uint32_t capacity, uint32_t timeoutMs) {
    if (!libraryReady_) return protocol::kErrGrabberLibrary;
    const uint64_t sentMs = recorder ? recorder->elapsed() : 0;
    // The library reads for up to twice the time-out and cannot be interrupted from outside.
    const ErrorCode result = blocking([&] {
        const uint32_t timeout = timeoutMs;
        Set_Timeouts(handle_, &timeout, sizeof timeout);
        return Control_Command(handle_, command, size, reply, capacity);
    });
    if (recorder) recorder->exchange(sentMs, command, size, reply, capacity, result);
    return result;
}

ErrorCode CCamLinkUpdate::Close() {
    if (recorder && handle_ != 0) recorder->closed();
    if (libraryReady_ && handle_ != 0) blocking([this] { return ErrorCode(Close_Cam(&handle_)); });
    handle_ = 0;
    return 0;
}

ErrorCode CCamLinkUpdate::closeDeviceProbe() {
    const protocol::Request close = protocol::twoWordRequest(protocol::cmd::CLOSE_DEVICE, 0, 0);
    uint8_t reply[protocol::cap::CLOSE_DEVICE_SHORT] = {};
    return Command(close.data(), close.size, reply, sizeof reply,
                   protocol::timeout::CLOSE_DEVICE_IDENTIFY);
}

ErrorCode CCamLinkUpdate::Open(int board) {
    // The grabber's open and the baud search below are one blocking call; the search's probes
    // run inside it.
    return blocking([this, board] { return openAndSearch(board); });
}

ErrorCode CCamLinkUpdate::openAndSearch(int board) {
    Close();
    if (recorder) recorder->opened(board);
    // Whatever this open finds, the camera of an earlier one is no longer reached.
    markUnconnected();
    interfaceType = kInterfaceTypeCameraLink;
    if (!libraryReady_ || board < 0 || uint32_t(board) > initmode::kBoardMask)
        return protocol::kErrGrabberLibrary;

    // The library's own connection test and baud-rate scan are skipped: the search below knows
    // the rates this camera family uses.
    uint32_t mode = uint32_t(board) | initmode::kOnlySerialInit | initmode::kNoConnectionTest;
    if (grabberDll[0] != '\0') {
        char name[sizeof grabberDll + 1] = {};
        std::memcpy(name, grabberDll, sizeof grabberDll);
        KM4_OpenStruct openStruct{};
        openStruct.cl_ser_file_name = name;
        mode |= initmode::kDllName;
        if (Open_Cam_Ext(mode, &handle_, &openStruct) != 0) return protocol::kErrGrabberLibrary;
    } else {
        const ErrorCode opened = Open_Cam(mode, &handle_);
        if (opened != 0) return opened;
    }

    for (int attempt = 0; attempt < kSearchAttempts; ++attempt) {
        const ErrorCode probed = closeDeviceProbe();
        if (probed == 0 || probed == protocol::kCamNoDeviceOpen ||
            probed == protocol::kCamNoDeviceOpenCl)
            break;
        if (attempt == kSearchAttempts - 1) return protocol::kErrNoCamera;
        SetBaudRate(kSearchRates[size_t(attempt)]);
    }
    SetBaudRate(kFastRate);

    if (identifyCamera(int(mode))) {
        linkBaudRate = readCameraBaudRate();
        readFirmwareFacts();
    } else {
        readFirmwareFacts();
        linkBaudRate = kSlowRate;
    }
    return 0;
}

ErrorCode CCamLinkUpdate::readFirmwareFacts() {
    const protocol::Request request =
        protocol::simpleRequest(protocol::cmd::GET_FIRMWARE_VERSIONS);
    uint8_t reply[protocol::cap::GET_FIRMWARE_VERSIONS] = {};
    const ErrorCode result = Command(request.data(), request.size, reply, sizeof reply,
                                     protocol::timeout::GET_FIRMWARE_VERSIONS);
    if (result != 0) return result;

    // Records beyond the first reply's ten belong to later pages and are not in this buffer;
    // a reply that carries fewer than it announces is short.
    const auto firmware = protocol::firmwareRecordsOf(reply, sizeof reply);
    if (!firmware) return protocol::kErrReplyShort;
    for (const protocol::FirmwareRecord& record : firmware->records) {
        if (record.name == "Main Bootloader") {
            bootloaderVariant = uint16_t(record.variant);
            bootloaderVersion = uint16_t(record.version());
        } else if (record.name == protocol::kFirmwareRecordNames[files::kRowMainUp]) {
            mainVariant = uint16_t(record.variant);
            mainVersion = uint16_t(record.version());
        }
    }
    // Newer bootloaders and main firmware keep up with the fast rate while an FPGA is written.
    if (bootloaderVersion >= kFastFpgaBootloader) {
        if ((mainVariant == 1 || mainVariant == 4 || mainVariant == 7) && mainVersion > 0x0500)
            fastFpgaTransfer = 1;
        if ((mainVariant == 2 || mainVariant == 3 || mainVariant == 8) && mainVersion > 0x0400)
            fastFpgaTransfer = 1;
    }
    return 0;
}

uint32_t CCamLinkUpdate::readCameraBaudRate() {
    const protocol::Request request = protocol::simpleRequest(protocol::cmd::GET_CL_BAUDRATE);
    uint8_t reply[protocol::cap::GET_CL_BAUDRATE] = {};
    const ErrorCode result = Command(request.data(), request.size, reply, sizeof reply,
                                     protocol::timeout::GET_CL_BAUDRATE);
    if (result != 0 ||
        protocol::requireReply(reply, sizeof reply, protocol::field::BAUD_RATE + 4) != 0)
        return kSlowRate;
    return protocol::readU32(&reply[protocol::field::BAUD_RATE]);
}

ErrorCode CCamLinkUpdate::SetBaudRate(uint32_t rate) {
    if (!libraryReady_) return 0;
    // The library tells the camera its new rate and waits for the answer.
    blocking([this, rate] {
        uint32_t requested = rate;
        uint32_t result = Set_Transfer_Parameters(handle_, &requested, sizeof requested);
        if (recorder) recorder->rateChanged(requested, result);
        for (uint32_t fallback : kFallbackRates) {
            if (!rateRefused(result)) break;
            requested = fallback;
            result = Set_Transfer_Parameters(handle_, &requested, sizeof requested);
            if (recorder) recorder->rateChanged(requested, result);
        }
        return ErrorCode(0);
    });
    linkBaudRate = readCameraBaudRate();
    return 0;
}

ErrorCode CCamLinkUpdate::PrepareTransfer(int device) {
    transferBaudRate = kSlowRate;
    if (bootMode) return 0;
    // Older firmware loses bytes when the Main FPGA is written at the fast rate.
    if (device == files::kRowMainFpga && fastFpgaTransfer == 0) return 0;
    transferBaudRate = readCameraBaudRate();
    if (transferBaudRate <= kSlowRate) {
        SetBaudRate(kFastRate);
        transferBaudRate = readCameraBaudRate();
    }
    return 0;
}

ErrorCode CCamLinkUpdate::FinishTransfer(int /*device*/) {
    if (transferBaudRate > kSlowRate) {
        SetBaudRate(kSlowRate);
        transferBaudRate = readCameraBaudRate();
    }
    return 0;
}

ErrorCode CCamLinkUpdate::Reboot(WaitHost& host) {
    if (recorder) recorder->rebooting();
    showStatus(*this, host, "Rebooting Camera");
    const protocol::Request reboot = protocol::simpleRequest(protocol::cmd::REBOOT);
    uint8_t reply[protocol::cap::REBOOT] = {};
    Command(reboot.data(), reboot.size, reply, sizeof reply, protocol::timeout::REBOOT);
    for (int counter = kRebootBootCycles - 1; counter >= 0; --counter)
        spinnerCycle(*this, host, "Waiting for Camera boot %c", counter);
    return 0;
}

}  // namespace camera

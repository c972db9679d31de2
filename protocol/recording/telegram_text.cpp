#include "protocol/recording/telegram_text.h"

#include <cstdio>

#include "protocol/commands.h"
#include "protocol/error_codes.h"
#include "protocol/little_endian.h"
#include "protocol/telegram.h"

namespace recording {

namespace {

struct Named {
    uint32_t code;
    const char* name;
};

constexpr Named kCommands[] = {
    {protocol::cmd::CLOSE_DEVICE, "CLOSE_DEVICE"},
    {protocol::cmd::TEXT_COMMAND, "TEXT_COMMAND"},
    {protocol::cmd::GET_CAMERA_TYPE, "GET_CAMERA_TYPE"},
    {protocol::cmd::GET_CAMERA_STATUS, "GET_CAMERA_STATUS"},
    {protocol::cmd::GET_HARDWARE_VERSIONS, "GET_HARDWARE_VERSIONS"},
    {protocol::cmd::GET_FIRMWARE_VERSIONS, "GET_FIRMWARE_VERSIONS"},
    {protocol::cmd::GET_CAMERA_DESCRIPTION, "GET_CAMERA_DESCRIPTION"},
    {protocol::cmd::GET_FIRMWARE_VERSIONS_PAGE, "GET_FIRMWARE_VERSIONS_PAGE"},
    {protocol::cmd::START_FIRMWARE, "START_FIRMWARE"},
    {protocol::cmd::REBOOT, "REBOOT"},
    {protocol::cmd::GET_CL_BAUDRATE, "GET_CL_BAUDRATE"},
    {protocol::cmd::OPEN_DAVEN, "OPEN_DAVEN"},
    {protocol::cmd::OPEN_MAIN_UP, "OPEN_MAIN_UP"},
    {protocol::cmd::OPEN_MAIN_FPGA, "OPEN_MAIN_FPGA"},
    {protocol::cmd::OPEN_EEPROM, "OPEN_EEPROM"},
    {protocol::cmd::OPEN_HEAD_FPGA, "OPEN_HEAD_FPGA"},
    {protocol::cmd::OPEN_PLL, "OPEN_PLL"},
    {protocol::cmd::ERASE_DEVICE, "ERASE_DEVICE"},
    {protocol::cmd::WRITE_BLOCK, "WRITE_BLOCK"},
    {protocol::cmd::WRITE_EEPROM_BLOCK, "WRITE_EEPROM_BLOCK"},
    {protocol::cmd::READ_BLOCK, "READ_BLOCK"},
    {protocol::cmd::READ_EEPROM_BLOCK, "READ_EEPROM_BLOCK"},
    {protocol::cmd::SET_CHECKSUM, "SET_CHECKSUM"},
    {protocol::cmd::GET_CHECKSUM, "GET_CHECKSUM"},
    {protocol::cmd::GET_CAMERA_INFO, "GET_CAMERA_INFO"},
    {protocol::cmd::SET_CL_BAUDRATE, "SET_CL_BAUDRATE"},
    {protocol::cmd::GET_CL_CONFIGURATION, "GET_CL_CONFIGURATION"},
    {protocol::cmd::SET_CL_CONFIGURATION, "SET_CL_CONFIGURATION"},
    {protocol::cmd::SET_INTERFACE_OUTPUT_FORMAT, "SET_INTERFACE_OUTPUT_FORMAT"},
    {protocol::cmd::GET_INTERFACE_OUTPUT_FORMAT, "GET_INTERFACE_OUTPUT_FORMAT"},
    {protocol::cmd::ARM_CAMERA, "ARM_CAMERA"},
};

constexpr Named kResults[] = {
    {protocol::kOk, "done"},
    {protocol::kErrPortIndex, "the COM port cannot be opened"},
    {protocol::kErrPortIo, "no reply: the port's write or read failed or nothing came"},
    {protocol::kErrChecksum, "reply checksum wrong"},
    {protocol::kErrLibraryChecksum, "reply checksum wrong"},
    {protocol::kErrReplyCode, "reply to another command"},
    {protocol::kErrReplyShort, "reply too short"},
    {protocol::kErrReplyEcho, "reply echoes other addresses"},
    {protocol::kErrLibraryLineIo, "no reply: the grabber's flush, write or read failed or nothing came"},
    {protocol::kErrLibraryReplyCode, "reply to another command"},
    {protocol::kErrLibraryHandle, "library handle not valid"},
    {protocol::kErrLibraryArgument, "telegram refused by the library"},
    {protocol::kCamNoDeviceOpen, "camera: no device open"},
    {protocol::kCamNoDeviceOpenCl, "camera: no device open"},
    {protocol::kCamPagedUnsupportedMask, "camera: command not supported"},
    {protocol::kCamEmergencyConnected, "camera: emergency connection"},
    {protocol::camerr::kUnknownCommand, "camera: unknown command"},
    {protocol::camerr::kBadChecksum, "camera: bad checksum"},
    {protocol::camerr::kBadLength, "camera: bad length"},
    {protocol::camerr::kValueNotSupported, "camera: value not supported"},
    {protocol::camerr::kDeviceAlreadyOpen, "camera: device already open"},
    {protocol::camerr::kOpenRefused, "camera: open refused"},
    {protocol::camerr::kAddressRange, "camera: address out of range"},
    {protocol::camerr::kWrongDeviceCommand, "camera: command not for this device"},
    {protocol::camerr::kChecksumMismatch, "camera: checksum mismatch"},
    {protocol::camerr::kEraseFailed, "camera: erase failed"},
    {protocol::camerr::kWriteFailed, "camera: write failed"},
    {protocol::camerr::kReadFailed, "camera: read failed"},
    {protocol::camerr::kCloseFailed, "camera: close failed"},
    {protocol::kErrNoCamera, "no camera"},
    {protocol::kErrGrabberLibrary, "frame grabber library not usable"},
    {protocol::kErrReadBackMismatch, "read-back differs from the image"},
};

bool isBlockCommand(uint16_t code) {
    return code == protocol::cmd::WRITE_BLOCK || code == protocol::cmd::WRITE_EEPROM_BLOCK ||
           code == protocol::cmd::READ_BLOCK || code == protocol::cmd::READ_EEPROM_BLOCK;
}

}  // namespace

std::string commandName(uint16_t code) {
    const bool reply = (code & protocol::kReplyBit) != 0;
    const bool error = (code & protocol::kErrorReplyMask) == protocol::kErrorReplyMask;
    const uint16_t command = uint16_t(code & ~protocol::kErrorReplyMask);
    for (const Named& n : kCommands) {
        if (n.code == code) return n.name;
        if (reply && n.code == command) return std::string(n.name) + (error ? " error reply" : " reply");
    }
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%04X", unsigned(code));
    return hex;
}

bool telegramAddress(const Bytes& t, uint32_t& address, uint32_t& length) {
    if (t.size() < 12) return false;
    const uint16_t code = protocol::readU16(t.data());
    if (!isBlockCommand(code)) return false;
    address = protocol::readU32(&t[4]);
    const uint32_t last = protocol::readU32(&t[8]);
    length = last >= address ? last - address + 1 : 0;
    return true;
}

std::string describeTelegram(const Bytes& t) {
    if (t.size() < 4) return "a telegram of " + std::to_string(t.size()) + " bytes";
    std::string text = commandName(protocol::readU16(t.data()));
    uint32_t address = 0, length = 0;
    char buffer[64];
    if (telegramAddress(t, address, length)) {
        std::snprintf(buffer, sizeof buffer, " address 0x%08X length %u", unsigned(address),
                      unsigned(length));
    } else {
        std::snprintf(buffer, sizeof buffer, " length %u", unsigned(protocol::readU16(&t[2])));
    }
    return text + buffer;
}

std::string resultText(uint32_t code) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", unsigned(code));
    for (const Named& n : kResults)
        if (n.code == code) return std::string(hex) + " (" + n.name + ")";
    return std::string(hex) + ((code & 0x80000000u) ? " (failure)" : "");
}

}  // namespace recording

#pragma once
// A camera link answering from a script that outlives it (tests look at it after the link is gone).

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "programmer/app/camera_factory.h"
#include "programmer/camera/cam_update.h"
#include "protocol/commands.h"

namespace apptest {

struct HardwareRecord {
    std::string name;
    uint16_t first = 0;
    uint16_t second = 1;
};
struct FirmwareRecord {
    std::string name;
    uint8_t major = 1;
    uint8_t minor = 0;
    uint16_t variant = 1;
};

struct CameraScript {
    bool answers = true;  // false: no camera on the port
    bool bootMode = false;
    uint16_t cameraType = 0x1200;
    std::vector<HardwareRecord> hardware{{"KM4MAIN", 13, 1}, {"KM4GIGE", 99, 99}};
    std::vector<FirmwareRecord> firmware{{"Main Bootloader", 1, 6, 1},
                                         {"Main uP", 5, 2, 1},
                                         {"Main FPGA", 3, 1, 4},
                                         {"EEPROM", 1, 0, 2}};
    bool pagedCommand = true;                     // answers GET_FIRMWARE_VERSIONS_PAGE
    int failingPage = -1;                         // this page does not come
    std::deque<protocol::ErrorCode> openResults;  // overrides `answers` for the next opens
    protocol::ErrorCode rebootResult = 0;
    bool leaveBootModeOnReboot = false;  // the new Main uP firmware runs after the reboot
    std::map<uint16_t, int> failNext;  // fail the next n commands of a code

    std::vector<uint16_t> commands;
    std::vector<int> openedPorts;
    std::vector<std::string> grabberDllAtOpen;
    int closes = 0;
    int reboots = 0;
    int destroyed = 0;
    std::array<std::map<uint32_t, uint8_t>, 5> flash;  // written bytes of each row by address
    int openRow = -1;
    std::array<uint8_t, 12> checkedSum{};  // first, last and sum of the last SET_CHECKSUM
    std::vector<int> opened;  // device rows in opening order

    int count(uint16_t code) const {
        return int(std::count(commands.begin(), commands.end(), code));
    }
    // Unwritten bytes read as 0xFF.
    std::vector<uint8_t> read(int row, uint32_t address, size_t count) const {
        std::vector<uint8_t> bytes(count, 0xFF);
        for (size_t i = 0; i < count; ++i)
            if (auto at = flash[size_t(row)].find(address + uint32_t(i));
                at != flash[size_t(row)].end())
                bytes[i] = at->second;
        return bytes;
    }
};

class ScriptedCamera : public camera::CCamUpdate {
public:
    ScriptedCamera(CameraScript& script, int type, bool emergency) : s_(script) {
        interfaceType = type;
        emergencyMode = emergency;
    }
    ~ScriptedCamera() override { ++s_.destroyed; }

    protocol::ErrorCode Command(const uint8_t* command, uint32_t, uint8_t* reply, uint32_t capacity,
                                uint32_t) override {
        using namespace protocol;
        const uint16_t code = readU16(command);
        s_.commands.push_back(code);
        if (auto fail = s_.failNext.find(code); fail != s_.failNext.end() && fail->second > 0) {
            --fail->second;
            return kErrPortIo;
        }
        if (!s_.answers)
            return kErrPortIo;
        std::vector<uint8_t> out(std::max<size_t>(512, capacity), 0);
        writeU16(&out[0], uint16_t(code | kReplyBit));
        writeU16(&out[2], uint16_t(capacity + 1));  // a reply that fills the caller's buffer
        for (int row = 0; row < 5; ++row)
            if (code == kOpenCodeByRow[size_t(row)])
                s_.opened.push_back(s_.openRow = row);
        const int row = s_.openRow;
        switch (code) {
            case cmd::GET_CAMERA_TYPE:
                writeU16(&out[field::CAMERA_TYPE], s_.bootMode ? kCameraTypeBoot : s_.cameraType);
                writeU32(&out[field::SERIAL_NUMBER], 1234);
                break;
            case cmd::GET_HARDWARE_VERSIONS:
                writeU16(&out[field::RECORD_COUNT], uint16_t(s_.hardware.size()));
                for (size_t i = 0; i < s_.hardware.size() && i < 10; ++i) {
                    uint8_t* record = &out[field::RECORDS + i * field::HARDWARE_RECORD_SIZE];
                    std::memcpy(record, s_.hardware[i].name.c_str(), s_.hardware[i].name.size());
                    writeU16(record + field::HARDWARE_CODE_A, s_.hardware[i].first);
                    writeU16(record + field::HARDWARE_CODE_B, s_.hardware[i].second);
                }
                break;
            case cmd::GET_FIRMWARE_VERSIONS_PAGE:
                if (!s_.pagedCommand)
                    return 0x80001022;
                if (command[4] == s_.failingPage)
                    return kErrPortIo;
                fillFirmware(out, command[4]);
                break;
            case cmd::GET_FIRMWARE_VERSIONS:
                fillFirmware(out, 0);
                break;
            case cmd::ERASE_DEVICE:
                if (row >= 0)
                    s_.flash[size_t(row)].clear();
                break;
            case cmd::WRITE_BLOCK:
            case cmd::WRITE_EEPROM_BLOCK: {
                const uint32_t first = readU32(command + 4);
                for (uint32_t a = first; row >= 0 && a <= readU32(command + 8) && a - first < 256;
                     ++a)
                    s_.flash[size_t(row)][a] = command[12 + (a - first)];
                break;
            }
            case cmd::READ_BLOCK:
            case cmd::READ_EEPROM_BLOCK: {
                const uint32_t first = readU32(command + 4);
                const auto bytes =
                    s_.read(std::max(row, 0), first, readU32(command + 8) - first + 1);
                std::memcpy(&out[4], command + 4, 8);  // the addresses asked for
                std::copy(bytes.begin(), bytes.end(), out.begin() + field::BLOCK_DATA);
                break;
            }
            case cmd::CLOSE_DEVICE:
                s_.openRow = -1;
                break;
            case cmd::SET_CHECKSUM:
                std::memcpy(s_.checkedSum.data(), command + 4, s_.checkedSum.size());
                break;
            case cmd::GET_CHECKSUM:
                std::memcpy(&out[4], s_.checkedSum.data(), s_.checkedSum.size());
                break;
            default:
                break;
        }
        std::memcpy(reply, out.data(), std::min<size_t>(capacity, out.size()));
        return kOk;
    }

    protocol::ErrorCode Open(int portNumber) override {
        s_.openedPorts.push_back(portNumber);
        s_.grabberDllAtOpen.push_back(grabberDll);
        protocol::ErrorCode result = s_.answers ? protocol::kOk : protocol::kErrNoCamera;
        if (!s_.openResults.empty()) {
            result = s_.openResults.front();
            s_.openResults.pop_front();
        }
        connected = result == protocol::kOk;
        bootMode = connected && s_.bootMode;
        serialNumber = bootMode ? protocol::kBootModeSerialNumber : connected ? 1234 : 0;
        port = connected ? portNumber + 1 : -1;
        return result;
    }
    protocol::ErrorCode Close() override {
        ++s_.closes;
        return 0;
    }
    protocol::ErrorCode FlushInput() override { return 0; }
    protocol::ErrorCode Reboot(camera::WaitHost& host) override {
        ++s_.reboots;
        s_.openRow = -1;
        if (s_.leaveBootModeOnReboot)
            s_.bootMode = false;
        host.showStatus("Rebooting Camera");
        host.pumpMessages();
        host.clock().sleepFor(platform::Milliseconds(2500));
        return s_.rebootResult;
    }

private:
    void fillFirmware(std::vector<uint8_t>& out, int page) {
        using namespace protocol;
        writeU16(&out[field::RECORD_COUNT], uint16_t(s_.firmware.size()));
        for (size_t slot = 0; slot < 10 && size_t(page) * 10 + slot < s_.firmware.size(); ++slot) {
            const FirmwareRecord& source = s_.firmware[size_t(page) * 10 + slot];
            uint8_t* record = &out[field::RECORDS + slot * field::FIRMWARE_RECORD_SIZE];
            std::memcpy(record, source.name.c_str(), source.name.size());
            record[field::FIRMWARE_MINOR] = source.minor;
            record[field::FIRMWARE_MAJOR] = source.major;
            writeU16(record + field::FIRMWARE_VARIANT, source.variant);
        }
    }

    CameraScript& s_;
};

class ScriptedFactory : public app::CameraFactory {
public:
    std::unique_ptr<camera::CCamUpdate> makeCom(bool emergency) override {
        ++comMade;
        return std::make_unique<ScriptedCamera>(com, 0, emergency);
    }
    std::unique_ptr<camera::CCamUpdate> makeCamLink(bool emergency) override {
        ++camLinkMade;
        return std::make_unique<ScriptedCamera>(camLink, 2, emergency);
    }
    bool libraryReady(const camera::CCamUpdate& link) const override {
        return link.interfaceType != 2 || camLinkLibrary;
    }

    CameraScript com;
    CameraScript camLink;
    bool camLinkLibrary = true;
    int comMade = 0;
    int camLinkMade = 0;
};

}  // namespace apptest

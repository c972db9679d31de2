#pragma once
// A camera link that answers Command() from a scripted camera: identification, hardware and
// firmware records (paged or not), boot mode, reboot, and failures per command code. The script
// outlives the link, so tests can look at it after a dialog deleted the link.

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
    bool answers = true;                 // false: no camera on the port
    bool bootMode = false;
    uint16_t cameraType = 0x1200;
    uint32_t serialNumber = 1234;
    std::vector<HardwareRecord> hardware{{"KM4MAIN", 13, 1}, {"KM4GIGE", 99, 99}};
    std::vector<FirmwareRecord> firmware{{"Main Bootloader", 1, 6, 1}, {"Main uP", 5, 2, 1},
                                         {"Main FPGA", 3, 1, 4}, {"EEPROM", 1, 0, 2}};
    bool pagedCommand = true;            // answers GET_FIRMWARE_VERSIONS_PAGE
    int failingPage = -1;                // this page does not come
    std::deque<protocol::ErrorCode> openResults;  // overrides `answers` for the next opens
    protocol::ErrorCode rebootResult = 0;
    std::map<uint16_t, int> failNext;    // fail the next n commands of a code
    std::map<uint16_t, protocol::ErrorCode> failWith;  // ... with this code (default kErrPortIo)

    // What happened.
    std::vector<uint16_t> commands;
    std::vector<int> openedPorts;
    std::vector<std::string> grabberDllAtOpen;
    int closes = 0;
    int reboots = 0;
    int destroyed = 0;

    int count(uint16_t code) const {
        int n = 0;
        for (const auto c : commands) n += c == code;
        return n;
    }
};

class ScriptedCamera : public camera::CCamUpdate {
public:
    ScriptedCamera(CameraScript& script, int type, bool emergency) : script_(script) {
        interfaceType = type;
        emergencyMode = emergency;
    }
    ~ScriptedCamera() override { ++script_.destroyed; }

    protocol::ErrorCode Command(const uint8_t* command, uint32_t, uint8_t* reply, uint32_t capacity,
                                uint32_t) override {
        using namespace protocol;
        const uint16_t code = readU16(command);
        script_.commands.push_back(code);
        if (auto fail = script_.failNext.find(code); fail != script_.failNext.end() && fail->second > 0) {
            --fail->second;
            const auto with = script_.failWith.find(code);
            return with == script_.failWith.end() ? kErrPortIo : with->second;
        }
        if (!script_.answers) return kErrPortIo;
        std::vector<uint8_t> out(512, 0);
        writeU16(&out[0], uint16_t(code | kReplyBit));
        switch (code) {
            case cmd::GET_CAMERA_TYPE:
                writeU16(&out[field::CAMERA_TYPE], script_.bootMode ? kCameraTypeBoot : script_.cameraType);
                writeU32(&out[field::SERIAL_NUMBER], script_.serialNumber);
                break;
            case cmd::GET_HARDWARE_VERSIONS:
                writeU16(&out[field::RECORD_COUNT], uint16_t(script_.hardware.size()));
                for (size_t i = 0; i < script_.hardware.size() && i < 10; ++i) {
                    uint8_t* record = &out[field::RECORDS + i * field::HARDWARE_RECORD_SIZE];
                    std::memcpy(record, script_.hardware[i].name.c_str(),
                                std::min<size_t>(script_.hardware[i].name.size(), 18));
                    writeU16(record + field::HARDWARE_CODE_A, script_.hardware[i].first);
                    writeU16(record + field::HARDWARE_CODE_B, script_.hardware[i].second);
                }
                break;
            case cmd::GET_FIRMWARE_VERSIONS_PAGE:
                if (!script_.pagedCommand) return 0x80001022;
                if (command[4] == script_.failingPage) return kErrPortIo;
                fillFirmware(out, command[4]);
                break;
            case cmd::GET_FIRMWARE_VERSIONS:
                fillFirmware(out, 0);
                break;
            case cmd::GET_CAMERA_DESCRIPTION:
                std::memcpy(&out[field::CAMERA_DESCRIPTION], "scripted camera", 15);
                break;
            default:
                break;
        }
        std::memcpy(reply, out.data(), std::min<size_t>(capacity, out.size()));
        return kOk;
    }

    protocol::ErrorCode Open(int portNumber) override {
        script_.openedPorts.push_back(portNumber);
        script_.grabberDllAtOpen.push_back(grabberDll);
        protocol::ErrorCode result = script_.answers ? protocol::kOk : protocol::kErrNoCamera;
        if (!script_.openResults.empty()) {
            result = script_.openResults.front();
            script_.openResults.pop_front();
        }
        connected = result == protocol::kOk;
        bootMode = connected && script_.bootMode;
        serialNumber = !connected ? 0 : bootMode ? protocol::kBootModeSerialNumber : script_.serialNumber;
        port = connected ? portNumber + 1 : -1;
        return result;
    }
    protocol::ErrorCode Close() override {
        ++script_.closes;
        return 0;
    }
    protocol::ErrorCode FlushInput() override { return 0; }
    protocol::ErrorCode Reboot(camera::WaitHost& host) override {
        ++script_.reboots;
        host.showStatus("Rebooting Camera");
        host.pumpMessages();
        host.clock().sleepFor(platform::Milliseconds(2500));
        return script_.rebootResult;
    }

private:
    void fillFirmware(std::vector<uint8_t>& out, int page) {
        using namespace protocol;
        writeU16(&out[field::RECORD_COUNT], uint16_t(script_.firmware.size()));
        for (size_t slot = 0; slot < 10; ++slot) {
            const size_t index = size_t(page) * 10 + slot;
            if (index >= script_.firmware.size()) break;
            const FirmwareRecord& source = script_.firmware[index];
            uint8_t* record = &out[field::RECORDS + slot * field::FIRMWARE_RECORD_SIZE];
            std::memcpy(record, source.name.c_str(), std::min<size_t>(source.name.size(), 16));
            record[field::FIRMWARE_MINOR] = source.minor;
            record[field::FIRMWARE_MAJOR] = source.major;
            writeU16(record + field::FIRMWARE_VARIANT, source.variant);
        }
    }

    CameraScript& script_;
};

// Makes scripted links: COM links from `com`, Camera Link links from `camLink`.
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

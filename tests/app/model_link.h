#pragma once
// The dialogs' camera links to camsim's camera model in process. The camera (its model, flash and
// what was asked of it) outlives the links the dialogs make and drop; tests look at it afterwards.

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "programmer/app/camera_factory.h"
#include "protocol/commands.h"
#include "sim/firmware_records.h"
#include "tests/support/model_camera.h"

namespace apptest {

struct ModelCameraState {
    // Reports Main uP 001 V05.02, Main FPGA 004 V03.01 and EEPROM 002 V01.00. With `versionsApart`
    // the versions are kept apart from the flash (as the camera's records), so programming does not
    // change them; else they are version blocks in the flash.
    explicit ModelCameraState(bool versionsApart = true) {
        options.hardware = {{"KM4MAIN", 13, 1}, {"KM4GIGE", 99, 99}};
        for (int row = 0; versionsApart && row < 5; ++row) store.device(row).keepVersionApart();
        firmware(0, 1, 5, 2);
        firmware(1, 4, 3, 1);
        firmware(2, 2, 1, 0);
    }
    void firmware(int row, int variant, int major, int minor) {
        store.device(row).writeVersionBlock({uint8_t(minor), uint8_t(major), uint16_t(variant)});
    }
    // A camsim fault ("no-reply:1403:1", ...); the camera starts afresh with it (flash kept).
    void fault(const std::string& description) {
        std::string error;
        EXPECT_TRUE(sim::addFault(description, options.faults, error)) << error;
        model.reset();
    }
    // In its bootloader now; after a reboot its firmware runs.
    void bootModeUntilReboot() {
        options.bootMode = true;
        model.emplace(options, store);
        options.bootMode = false;
    }
    int count(uint16_t code) const {
        return int(std::count(commands.begin(), commands.end(), code));
    }
    // The device rows opened, in order.
    std::vector<int> opened() const {
        std::vector<int> rows;
        for (const uint16_t code : commands)
            for (int row = 0; row < 5; ++row)
                if (code == protocol::kOpenCodeByRow[size_t(row)]) rows.push_back(row);
        return rows;
    }
    std::vector<uint8_t> read(int row, uint32_t address, size_t size) const {
        const sim::FlashDevice& device = store.device(row);
        const auto first = device.content().begin() + long(address - device.info().baseAddress);
        return {first, first + long(size)};
    }

    protocol::ErrorCode command(const uint8_t* command, uint32_t size, uint8_t* reply,
                                uint32_t capacity) {
        const uint16_t code = protocol::readU16(command);
        commands.push_back(code);
        if (!present || gone) return protocol::kErrPortIo;
        if (!model) model.emplace(options, store);
        // A list of firmware records in any order, which the model's own order cannot give.
        const bool paged = code == protocol::cmd::GET_FIRMWARE_VERSIONS_PAGE;
        const bool unpaged = code == protocol::cmd::GET_FIRMWARE_VERSIONS;
        if (records && (paged ? options.pagedFirmware : unpaged)) {
            const size_t page = paged ? command[4] : 0;
            if (page == failingPage) return protocol::kErrPortIo;
            sim::Bytes answer = sim::makeReply(code, sim::firmwarePagePayload(*records, page));
            return protocol::validateReply(answer.data(), answer.size(), code, reply, capacity,
                                           protocol::kOk, protocol::Variant::Programmer, log);
        }
        return camera::test::askModel(*model, command, size, reply, capacity, log, &gone);
    }

    sim::SimOptions options;
    sim::DeviceStore store;
    std::optional<sim::CameraModel> model;
    protocol::NullLogSink log;
    std::optional<std::vector<sim::FirmwareRecord>> records;
    size_t failingPage = 99;
    bool present = true;  // false: no camera on the port
    bool gone = false;    // stopped answering for good
    std::deque<protocol::ErrorCode> openResults;  // overrides `present` for the next opens

    std::vector<uint16_t> commands;
    std::vector<int> openedPorts;
    std::vector<std::string> grabberDllAtOpen;
    int closes = 0;
    int reboots = 0;
    int destroyed = 0;
};

class ModelLink : public camera::CCamUpdate {
public:
    ModelLink(ModelCameraState& camera, int type, bool emergency) : c_(camera) {
        interfaceType = type;
        emergencyMode = emergency;
    }
    ~ModelLink() override { ++c_.destroyed; }

    protocol::ErrorCode Command(const uint8_t* command, uint32_t size, uint8_t* reply,
                                uint32_t capacity, uint32_t) override {
        return c_.command(command, size, reply, capacity);
    }
    protocol::ErrorCode Open(int portNumber) override {
        c_.openedPorts.push_back(portNumber);
        c_.grabberDllAtOpen.push_back(grabberDll);
        protocol::ErrorCode result = c_.present ? protocol::kOk : protocol::kErrNoCamera;
        if (!c_.openResults.empty()) {
            result = c_.openResults.front();
            c_.openResults.pop_front();
        }
        if (result != protocol::kOk)
            markUnconnected();
        else
            identifyCamera(portNumber + 1);
        return result;
    }
    protocol::ErrorCode Close() override {
        ++c_.closes;
        return 0;
    }
    protocol::ErrorCode FlushInput() override { return 0; }
    protocol::ErrorCode Reboot(camera::WaitHost& host) override {
        ++c_.reboots;
        const protocol::Request reboot = protocol::simpleRequest(protocol::cmd::REBOOT);
        uint8_t reply[protocol::cap::REBOOT] = {};
        Command(reboot.data(), reboot.size, reply, sizeof reply, 0);
        return PollCamera(host);
    }

private:
    ModelCameraState& c_;
};

class ModelFactory : public app::CameraFactory {
public:
    explicit ModelFactory(bool versionsApart = true) : com(versionsApart), camLink(versionsApart) {}
    std::unique_ptr<camera::CCamUpdate> makeCom(bool emergency) override {
        ++comMade;
        return std::make_unique<ModelLink>(com, 0, emergency);
    }
    std::unique_ptr<camera::CCamUpdate> makeCamLink(bool emergency) override {
        ++camLinkMade;
        return std::make_unique<ModelLink>(camLink, 2, emergency);
    }
    bool libraryReady(const camera::CCamUpdate& link) const override {
        return link.interfaceType != 2 || camLinkLibrary;
    }

    ModelCameraState com;
    ModelCameraState camLink;
    bool camLinkLibrary = true;
    int comMade = 0;
    int camLinkMade = 0;
};

}  // namespace apptest

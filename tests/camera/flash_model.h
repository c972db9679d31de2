#pragma once
// An in-memory camera flash behind ScriptedCamera: the five devices with their open codes, erase,
// block writes and reads, and the checksum commands, plus the faults the tests need.

#include <map>
#include <optional>

#include "fake_camera.h"
#include "protocol/commands.h"

namespace camera::test {

class FlashModel {
public:
    struct Device {
        uint32_t base;
        std::vector<uint8_t> flash;
    };

    FlashModel() {
        devices_[protocol::cmd::OPEN_MAIN_UP] = {0x80000000u, std::vector<uint8_t>(0x100000, 0xFF)};
        devices_[protocol::cmd::OPEN_MAIN_FPGA] = {0, std::vector<uint8_t>(0x400000, 0xFF)};
        devices_[protocol::cmd::OPEN_EEPROM] = {0, std::vector<uint8_t>(448, 0xFF)};
        devices_[protocol::cmd::OPEN_PLL] = {0, std::vector<uint8_t>(448, 0xFF)};
        devices_[protocol::cmd::OPEN_HEAD_FPGA] = {0, std::vector<uint8_t>(0x400000, 0xFF)};
    }

    Device& device(uint16_t openCode) { return devices_.at(openCode); }

    // Faults.
    int failWriteAtBlock = -1;        // the n-th write (0-based) answers an error
    uint32_t writeError = 0x80001101;
    bool corruptReadBack = false;     // reads return one flipped byte
    bool dropWrites = false;          // writes are acknowledged but not stored
    uint32_t setChecksumError = 0;
    uint32_t openFailures = 0;        // the next n opens fail

    uint32_t answer(const SentCommand& sent, std::vector<uint8_t>& payload) {
        using namespace protocol::cmd;
        switch (sent.code) {
        case OPEN_MAIN_UP: case OPEN_MAIN_FPGA: case OPEN_EEPROM: case OPEN_PLL:
        case OPEN_HEAD_FPGA:
            if (openFailures > 0) {
                --openFailures;
                return 0x80001102;
            }
            open_ = sent.code;
            return 0;
        case CLOSE_DEVICE:
            if (!open_) return protocol::kCamNoDeviceOpen;
            open_.reset();
            return 0;
        case ERASE_DEVICE:
            if (!open_) return protocol::kCamNoDeviceOpen;
            std::fill(device(*open_).flash.begin(), device(*open_).flash.end(), 0xFF);
            return 0;
        case WRITE_BLOCK: case WRITE_EEPROM_BLOCK: {
            if (!open_) return protocol::kCamNoDeviceOpen;
            if (writes_++ == failWriteAtBlock) return writeError;
            uint8_t* at = locate(sent.u32(4), sent.u32(8));
            if (at == nullptr) return 0x80001103;
            if (!dropWrites)
                std::copy_n(&sent.bytes[12], sent.u32(8) - sent.u32(4) + 1, at);
            return 0;
        }
        case READ_BLOCK: case READ_EEPROM_BLOCK: {
            const uint8_t* at = locate(sent.u32(4), sent.u32(8));
            if (at == nullptr) return 0x80001103;
            payload.assign(8, 0);
            protocol::writeU32(&payload[0], sent.u32(4));
            protocol::writeU32(&payload[4], sent.u32(8));
            payload.insert(payload.end(), at, at + (sent.u32(8) - sent.u32(4) + 1));
            if (corruptReadBack) payload[8] ^= 0x01;
            return 0;
        }
        case SET_CHECKSUM:
            if (setChecksumError != 0) return setChecksumError;
            checksum_ = {sent.u32(4), sent.u32(8), sent.u32(12)};
            return 0;
        case GET_CHECKSUM:
            payload.assign(12, 0);
            protocol::writeU32(&payload[0], checksum_[0]);
            protocol::writeU32(&payload[4], checksum_[1]);
            protocol::writeU32(&payload[8], checksum_[2]);
            return 0;
        default:
            return 0;
        }
    }

private:
    uint8_t* locate(uint32_t first, uint32_t last) {
        if (!open_ || last < first || last - first >= 256) return nullptr;
        Device& d = device(*open_);
        if (first < d.base || last - d.base >= d.flash.size()) return nullptr;
        return d.flash.data() + (first - d.base);
    }

    std::map<uint16_t, Device> devices_;
    std::optional<uint16_t> open_;
    int writes_ = 0;
    std::array<uint32_t, 3> checksum_{};
};

}  // namespace camera::test

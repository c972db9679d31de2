#pragma once
// A scripted camera that also holds the five devices' flash: it answers the device commands
// (open, erase, block writes and reads, checksum, close) so that programming runs can be followed
// command by command and their results compared with the image. Failures come from the
// CameraScript's failNext, as for every other command.

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "scripted_camera.h"

namespace apptest {

struct FlashState {
    // Written bytes of each row by device address.
    std::array<std::map<uint32_t, uint8_t>, 5> flash;
    int openRow = -1;
    std::vector<int> opened;  // rows in the order they were opened
    int erases = 0;
    // Runs at every reboot, before the camera answers again (e.g. to change what it reports).
    std::function<void(CameraScript&)> onReboot;

    // `count` bytes of row `row` from `address`; unwritten bytes read as 0xFF.
    std::vector<uint8_t> read(int row, uint32_t address, size_t count) const {
        std::vector<uint8_t> bytes(count, 0xFF);
        for (size_t i = 0; i < count; ++i) {
            const auto found = flash[size_t(row)].find(address + uint32_t(i));
            if (found != flash[size_t(row)].end())
                bytes[i] = found->second;
        }
        return bytes;
    }
};

class FlashCamera : public ScriptedCamera {
public:
    FlashCamera(CameraScript& script, FlashState& state, int type, bool emergency)
        : ScriptedCamera(script, type, emergency), script_(script), state_(state) {}

    protocol::ErrorCode Command(const uint8_t* command, uint32_t size, uint8_t* reply,
                                uint32_t capacity, uint32_t timeoutMs) override {
        using namespace protocol;
        const ErrorCode result = ScriptedCamera::Command(command, size, reply, capacity, timeoutMs);
        if (result != kOk)
            return result;
        const uint16_t code = readU16(command);
        for (int row = 0; row < 5; ++row) {
            if (code != kOpenCodeByRow[size_t(row)])
                continue;
            state_.openRow = row;
            state_.opened.push_back(row);
        }
        const int row = state_.openRow;
        switch (code) {
            case cmd::ERASE_DEVICE:
                ++state_.erases;
                if (row >= 0)
                    state_.flash[size_t(row)].clear();
                break;
            case cmd::WRITE_BLOCK:
            case cmd::WRITE_EEPROM_BLOCK: {
                const uint32_t first = readU32(command + 4);
                const uint32_t last = readU32(command + 8);
                for (uint32_t a = first; row >= 0 && a <= last && a - first < 256; ++a)
                    state_.flash[size_t(row)][a] = command[12 + (a - first)];
                break;
            }
            case cmd::READ_BLOCK: {
                const uint32_t first = readU32(command + 4);
                const uint32_t count = readU32(command + 8) - first + 1;
                const auto bytes = state_.read(row < 0 ? 0 : row, first, count);
                std::memcpy(reply + field::BLOCK_DATA, bytes.data(),
                            std::min<size_t>(count, capacity - field::BLOCK_DATA));
                break;
            }
            case cmd::CLOSE_DEVICE:
                state_.openRow = -1;
                break;
            default:
                break;
        }
        return kOk;
    }

    protocol::ErrorCode Reboot(camera::WaitHost& host) override {
        state_.openRow = -1;
        if (state_.onReboot)
            state_.onReboot(script_);
        return ScriptedCamera::Reboot(host);
    }

private:
    CameraScript& script_;
    FlashState& state_;
};

// COM links are FlashCameras over `com` and `flash`.
class FlashFactory : public ScriptedFactory {
public:
    std::unique_ptr<camera::CCamUpdate> makeCom(bool emergency) override {
        ++comMade;
        return std::make_unique<FlashCamera>(com, flash, 0, emergency);
    }
    FlashState flash;
};

}  // namespace apptest

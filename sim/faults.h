#pragma once
// Faults the virtual camera can be told to show, given as repeatable "--fault FAULT" options.

#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>

#include "sim/flash_device.h"

namespace sim {

struct Faults {
    // Command code -> how many more times it goes unanswered (-1: always).
    std::map<uint16_t, int> noReply;
    std::set<uint16_t> wrongCode;
    std::set<uint16_t> badChecksum;
    std::set<uint16_t> shortBody;
    // Command code -> payload bytes kept (-1: half) of a reply that is complete, with a correct
    // length and checksum, but shorter than the command's.
    std::map<uint16_t, int> shortReply;
    // Block reads answer with the following block (its addresses and data); other replies
    // echo their first u32 plus one.
    std::set<uint16_t> wrongEcho;
    std::set<uint16_t> debugFlood;
    std::map<uint16_t, uint32_t> errorReply;
    // (row, K): the K-th block write since the device was opened fails.
    std::set<std::pair<int, int>> writeFail;
    // (row, K): the K-th block read since the device was opened fails.
    std::set<std::pair<int, int>> readFail;
    std::array<bool, kDeviceCount> readbackMismatch{};
    std::array<bool, kDeviceCount> eraseFail{};
    std::array<bool, kDeviceCount> openFail{};
    std::array<bool, kDeviceCount> closeFail{};
    // Row -> number of answered block writes after which the camera never answers again.
    std::map<int, int> silentAfter;
    // After a REBOOT the camera comes back running only its bootloader.
    bool bootModeAfterReboot = false;
    bool noAnswerAfterReboot = false;
    // Row -> number of block writes after which the power fails (once).
    std::map<int, int> powerLoss;
};

// Adds one fault description; false with a message when the description is malformed.
bool addFault(const std::string& description, Faults& faults, std::string& error);

// The help text describing the faults.
extern const char* const kFaultHelp;

}  // namespace sim

#include "sim/camera_model.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "protocol/commands.h"
#include "sim/firmware_records.h"

namespace sim {

namespace cmd = protocol::cmd;

namespace {

constexpr int kFloodTelegrams = 200;

bool hasPayload(const Bytes& telegram, size_t bytes) { return telegram.size() >= 5 + bytes; }

}  // namespace

CameraModel::CameraModel(const SimOptions& options, DeviceStore& store)
    : options_(options),
      store_(store),
      faults_(options.faults),
      session_(store, faults_),
      bootMode_(options.bootMode),
      debugOn_(options.debugText > 0),
      camLink_(options) {}

Reaction CameraModel::handle(const Bytes& telegram) {
    Reaction reaction;
    const uint16_t code = protocol::readU16(telegram.data());
    if (auto it = faults_.noReply.find(code); it != faults_.noReply.end() && it->second != 0) {
        if (it->second > 0) --it->second;
        return reaction;  // lost on the way: neither carried out nor answered
    }
    if (auto it = faults_.errorReply.find(code); it != faults_.errorReply.end()) {
        finish(code, makeErrorReply(code, it->second), reaction);
        return reaction;
    }
    Bytes reply = dispatch(code, telegram, reaction);
    if (!reply.empty()) finish(code, std::move(reply), reaction);
    return reaction;
}

Reaction CameraModel::handleBadChecksum(const Bytes& telegram) {
    Reaction reaction;
    const uint16_t code = protocol::readU16(telegram.data());
    finish(code, makeErrorReply(code, camerr::kBadChecksum), reaction);
    return reaction;
}

void CameraModel::finish(uint16_t code, Bytes reply, Reaction& reaction) {
    if (faults_.wrongCode.count(code)) {
        protocol::writeU16(reply.data(), uint16_t(protocol::readU16(reply.data()) + 0x0100));
        reply.back() = protocol::checksumOf(reply.data(), reply.size() - 1);
    }
    const bool blockRead = code == cmd::READ_BLOCK || code == cmd::READ_EEPROM_BLOCK;
    if (faults_.wrongEcho.count(code) && !blockRead && reply.size() >= 9) {
        protocol::writeU32(&reply[4], protocol::readU32(&reply[4]) + 1);
        reply.back() = protocol::checksumOf(reply.data(), reply.size() - 1);
    }
    if (auto it = faults_.shortReply.find(code); it != faults_.shortReply.end()) {
        const size_t payload = reply.size() - 5;
        const size_t kept = it->second < 0 ? payload / 2 : std::min(payload, size_t(it->second));
        reply = makeTelegram(protocol::readU16(reply.data()),
                             Bytes(reply.begin() + 4, reply.begin() + 4 + long(kept)));
    }
    if (faults_.badChecksum.count(code)) reply.back() = uint8_t(reply.back() + 1);
    if (faults_.shortBody.count(code)) reply.resize(4 + (reply.size() - 4) / 2);

    const int debugCount = faults_.debugFlood.count(code) ? kFloodTelegrams
                           : debugOn_                     ? options_.debugText
                                                          : 0;
    for (int i = 0; i < debugCount; ++i) {
        char text[64];
        std::snprintf(text, sizeof text, "camsim debug %u: command 0x%04x\r\n",
                      unsigned(++debugCounter_), unsigned(code));
        const Bytes debug = makeDebugText(text);
        reaction.bytes.insert(reaction.bytes.end(), debug.begin(), debug.end());
    }
    reaction.bytes.insert(reaction.bytes.end(), reply.begin(), reply.end());
}

Bytes CameraModel::dispatch(uint16_t code, const Bytes& telegram, Reaction& reaction) {
    if (DeviceSession::handles(code)) return deviceCommand(telegram, reaction);
    switch (code) {
        case cmd::GET_CAMERA_TYPE:
            return cameraType(code);
        case cmd::GET_CAMERA_INFO:
            return cameraInfo(code);
        case cmd::GET_CAMERA_STATUS: {
            Bytes payload;
            appendU32(payload, 0);
            appendU32(payload, bootMode_ ? 1 : 0);
            appendU32(payload, uint32_t(session_.openRow()));
            return makeReply(code, payload);
        }
        case cmd::GET_CAMERA_DESCRIPTION: {
            Bytes payload(protocol::field::CAMERA_DESCRIPTION_SIZE, 0);
            std::memcpy(payload.data(), options_.description.data(),
                        std::min(options_.description.size(), payload.size()));
            return makeReply(code, payload);
        }
        case cmd::TEXT_COMMAND:
            return textCommand(code, telegram);
        case cmd::GET_HARDWARE_VERSIONS:
            return makeReply(code, hardwarePayload(options_.hardware));
        case cmd::GET_FIRMWARE_VERSIONS:
        case cmd::GET_FIRMWARE_VERSIONS_PAGE:
            return firmwareVersions(code, telegram);
        case cmd::REBOOT:
            return reboot(code, reaction);
        case cmd::START_FIRMWARE:
            return makeReply(code, {});
        case cmd::OPEN_DAVEN: {
            Bytes payload;
            appendU32(payload, 0);  // status: ready
            return makeReply(code, payload);
        }
        default:
            if (auto reply = camLink_.handle(code, telegram)) return *reply;
            return makeErrorReply(code, camerr::kUnknownCommand);
    }
}

Bytes CameraModel::cameraType(uint16_t code) const {
    Bytes payload(19, 0);  // a 24-byte reply: type at 4, serial at 8, link word at 20
    protocol::writeU16(&payload[0], bootMode_ ? protocol::kCameraTypeBoot : options_.cameraType);
    protocol::writeU32(&payload[4], options_.serial);
    protocol::writeU16(&payload[16], options_.linkWord);
    return makeReply(code, payload);
}

Bytes CameraModel::cameraInfo(uint16_t code) const {
    Bytes payload(148, 0);  // a 153-byte reply; the library keeps it without reading it
    protocol::writeU16(&payload[0], bootMode_ ? protocol::kCameraTypeBoot : options_.cameraType);
    protocol::writeU32(&payload[4], options_.serial);
    std::memcpy(&payload[8], options_.description.data(),
                std::min<size_t>(options_.description.size(), 40));
    return makeReply(code, payload);
}

Bytes CameraModel::textCommand(uint16_t code, const Bytes& telegram) {
    static const char kVerboseOff[] = "verbose 0\r";
    const size_t textLength = telegram.size() - 5;
    if (textLength == sizeof kVerboseOff - 1 &&
        std::memcmp(&telegram[4], kVerboseOff, textLength) == 0)
        debugOn_ = false;
    return makeReply(code, {});
}

Bytes CameraModel::firmwareVersions(uint16_t code, const Bytes& telegram) {
    size_t page = 0;
    if (code == cmd::GET_FIRMWARE_VERSIONS_PAGE) {
        if (!options_.pagedFirmware) return makeErrorReply(code, camerr::kNotSupported);
        if (!hasPayload(telegram, 1)) return makeErrorReply(code, camerr::kBadLength);
        page = telegram[4];
    }
    const auto records = firmwareRecords(store_, options_, options_.cameraType, bootMode_);
    return makeReply(code, firmwarePagePayload(records, page));
}

Bytes CameraModel::reboot(uint16_t code, Reaction& reaction) {
    session_.closeAll();
    saveState();
    bootMode_ = options_.bootMode;
    debugOn_ = options_.debugText > 0;
    camLink_.restart();
    reaction.offlineTime = std::chrono::milliseconds(options_.bootTimeMs);
    reaction.offlineForever = faults_.noAnswerAfterReboot;
    if (faults_.bootModeAfterReboot) bootMode_ = true;
    return makeReply(code, {});
}

Bytes CameraModel::deviceCommand(const Bytes& telegram, Reaction& reaction) {
    DeviceSession::Outcome out = session_.handle(telegram.data(), telegram.size(), bootMode_);
    if (out.erased) reaction.workTime = std::chrono::milliseconds(options_.eraseTimeMs);
    if (out.closed) saveState();
    if (out.silenced) reaction.offlineForever = true;
    if (out.powerLost) {
        // The camera comes back running only its bootloader, with the flash as far as written.
        session_.closeAll();
        saveState();
        bootMode_ = true;
        debugOn_ = options_.debugText > 0;
        camLink_.restart();
        reaction.offlineTime = std::chrono::milliseconds(options_.bootTimeMs);
    }
    return out.reply;
}

void CameraModel::saveState() {
    std::string error;
    if (!store_.saveChanged(error)) std::fprintf(stderr, "camsim: %s\n", error.c_str());
}

}  // namespace sim

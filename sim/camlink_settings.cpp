#include "sim/camlink_settings.h"

#include <algorithm>

#include "protocol/commands.h"
#include "protocol/telegram.h"
#include "sim/clsersim/line_frame.h"

namespace sim {

namespace cmd = protocol::cmd;

namespace {

// The second word of the GET_INTERFACE_OUTPUT_FORMAT reply: what the camera offers besides the
// format in force. Fixed, and not zero, so that a client shows it kept the right word.
constexpr uint16_t kOutputFormatInfo = 0x0102;

bool hasPayload(const Bytes& telegram, size_t bytes) {
    return telegram.size() >= 5 + bytes;
}

}  // namespace

CamLinkSettings::CamLinkSettings(const SimOptions& options)
    : startBaud_(options.clBaud), knowsOutputFormat_(options.outputFormat), baud_(options.clBaud) {}

std::optional<Bytes> CamLinkSettings::handle(uint16_t code, const Bytes& telegram) {
    switch (code) {
        case cmd::GET_CL_BAUDRATE:
        case cmd::SET_CL_BAUDRATE:
            return baudRate(code, telegram);
        case cmd::GET_CL_CONFIGURATION:
        case cmd::SET_CL_CONFIGURATION:
            return configuration(code, telegram);
        case cmd::GET_INTERFACE_OUTPUT_FORMAT:
        case cmd::SET_INTERFACE_OUTPUT_FORMAT:
            return outputFormat(code, telegram);
        case cmd::ARM_CAMERA:
            return makeReply(code, {});
        default:
            return std::nullopt;
    }
}

Bytes CamLinkSettings::baudRate(uint16_t code, const Bytes& telegram) {
    if (code == cmd::SET_CL_BAUDRATE) {
        if (!hasPayload(telegram, 4))
            return makeErrorReply(code, camerr::kBadLength);
        const uint32_t rate = protocol::readU32(&telegram[4]);
        if (std::find(std::begin(clsersim::kCameraLinkRates), std::end(clsersim::kCameraLinkRates),
                      rate) == std::end(clsersim::kCameraLinkRates))
            return makeErrorReply(code, camerr::kValueNotSupported);
        // The reply still goes out at the old rate; the line follows once it has left.
        baud_ = rate;
    }
    Bytes payload;
    appendU32(payload, baud_);
    return makeReply(code, payload);
}

Bytes CamLinkSettings::configuration(uint16_t code, const Bytes& telegram) {
    if (code == cmd::SET_CL_CONFIGURATION) {
        if (!hasPayload(telegram, 7))
            return makeErrorReply(code, camerr::kBadLength);
        clock_ = protocol::readU32(&telegram[4]);
        ccLine_ = telegram[8];
        dataFormat_ = telegram[9];
        transmit_ = telegram[10];
    }
    Bytes payload;
    appendU32(payload, clock_);
    payload.insert(payload.end(), {ccLine_, dataFormat_, transmit_});
    return makeReply(code, payload);
}

Bytes CamLinkSettings::outputFormat(uint16_t code, const Bytes& telegram) {
    if (!knowsOutputFormat_)
        return makeErrorReply(code, camerr::kNotSupported);
    const bool set = code == cmd::SET_INTERFACE_OUTPUT_FORMAT;
    if (!hasPayload(telegram, set ? 4 : 2))
        return makeErrorReply(code, camerr::kBadLength);
    if (set)
        outputFormat_ = protocol::readU16(&telegram[6]);
    Bytes payload;
    appendU16(payload, protocol::readU16(&telegram[4]));  // the interface asked about
    appendU16(payload, outputFormat_);
    appendU16(payload, kOutputFormatInfo);
    appendU16(payload, 0);
    return makeReply(code, payload);
}

}  // namespace sim

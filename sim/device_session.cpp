#include "sim/device_session.h"

#include <algorithm>

#include "protocol/commands.h"

namespace sim {

namespace cmd = protocol::cmd;

namespace {

int rowOfOpenCode(uint16_t code) {
    for (int row = 0; row < kDeviceCount; ++row)
        if (kDevices[size_t(row)].openCode == code) return row;
    return -1;
}

// First and last address of a block command; the count they give must be 1..256.
bool blockRange(const uint8_t* telegram, uint32_t& first, uint32_t& last) {
    first = protocol::readU32(telegram + 4);
    last = protocol::readU32(telegram + 8);
    return last >= first && last - first < protocol::kBlockSize;
}

Bytes twoWords(uint32_t a, uint32_t b) {
    Bytes payload;
    appendU32(payload, a);
    appendU32(payload, b);
    return payload;
}

}  // namespace

DeviceSession::DeviceSession(DeviceStore& store, Faults& faults) : store_(store), faults_(faults) {}

bool DeviceSession::handles(uint16_t code) {
    switch (code) {
        case cmd::CLOSE_DEVICE:
        case cmd::ERASE_DEVICE:
        case cmd::WRITE_BLOCK:
        case cmd::WRITE_EEPROM_BLOCK:
        case cmd::READ_BLOCK:
        case cmd::READ_EEPROM_BLOCK:
        case cmd::SET_CHECKSUM:
        case cmd::GET_CHECKSUM:
            return true;
        default:
            return rowOfOpenCode(code) >= 0;
    }
}

void DeviceSession::closeAll() { openRow_ = -1; }

DeviceSession::Outcome DeviceSession::handle(const uint8_t* telegram, size_t length,
                                             bool bootMode) {
    const uint16_t code = protocol::readU16(telegram);
    Outcome out;
    if (const int row = rowOfOpenCode(code); row >= 0) {
        out.reply = open(code, row, bootMode);
        return out;
    }
    if (code == cmd::GET_CHECKSUM) {
        Bytes payload = twoWords(checksumFirst_, checksumLast_);
        appendU32(payload, checksumSum_);
        out.reply = makeReply(code, payload);
        return out;
    }
    if (openRow_ < 0) {
        out.reply = makeErrorReply(code, camerr::kNoDeviceOpen);
        return out;
    }
    FlashDevice& device = store_.device(openRow_);
    switch (code) {
        case cmd::CLOSE_DEVICE:
            if (faults_.closeFail[size_t(openRow_)]) {
                out.reply = makeErrorReply(code, camerr::kCloseFailed);
                break;
            }
            openRow_ = -1;
            out.closed = true;
            out.reply = makeReply(code, twoWords(0, 0));
            break;
        case cmd::ERASE_DEVICE:
            if (faults_.eraseFail[size_t(openRow_)]) {
                out.reply = makeErrorReply(code, camerr::kEraseFailed);
            } else {
                device.erase();
                out.erased = true;
                out.reply = makeReply(code, twoWords(0, 0));
            }
            break;
        case cmd::WRITE_BLOCK:
        case cmd::WRITE_EEPROM_BLOCK:
            out.reply = write(code, telegram, length, out);
            break;
        case cmd::READ_BLOCK:
        case cmd::READ_EEPROM_BLOCK:
            out.reply = read(code, telegram, length);
            break;
        case cmd::SET_CHECKSUM:
            out.reply = setChecksum(telegram, length);
            break;
        default:
            out.reply = makeErrorReply(code, camerr::kUnknownCommand);
            break;
    }
    return out;
}

Bytes DeviceSession::open(uint16_t code, int row, bool bootMode) {
    if (openRow_ >= 0) return makeErrorReply(code, camerr::kDeviceAlreadyOpen);
    if (faults_.openFail[size_t(row)] || (bootMode && row != kRowMainUp))
        return makeErrorReply(code, camerr::kOpenRefused);
    openRow_ = row;
    writesSinceOpen_ = 0;
    readsSinceOpen_ = 0;
    checksumFirst_ = checksumLast_ = checksumSum_ = 0;
    return makeReply(code, twoWords(uint32_t(row), kDevices[size_t(row)].size));
}

bool DeviceSession::accepts(uint16_t code) const {
    const bool eeprom = openRow_ == kRowEeprom;
    switch (code) {
        case cmd::WRITE_BLOCK: return !eeprom;
        case cmd::WRITE_EEPROM_BLOCK: return eeprom;
        case cmd::READ_BLOCK: return !eeprom;
        case cmd::READ_EEPROM_BLOCK: return eeprom || openRow_ == kRowPll;
        default: return false;
    }
}

Bytes DeviceSession::write(uint16_t code, const uint8_t* telegram, size_t length,
                           Outcome& out) {
    if (length < protocol::kWriteBlockLength) return makeErrorReply(code, camerr::kBadLength);
    if (!accepts(code)) return makeErrorReply(code, camerr::kWrongDeviceCommand);
    const int attempt = writesSinceOpen_++;
    if (auto it = faults_.powerLoss.find(openRow_);
        it != faults_.powerLoss.end() && it->second == attempt) {
        faults_.powerLoss.erase(it);  // the power fails once
        out.powerLost = true;
        return {};
    }
    if (auto it = faults_.silentAfter.find(openRow_);
        it != faults_.silentAfter.end() && it->second == attempt) {
        out.silenced = true;
        return {};
    }
    if (faults_.writeFail.count({openRow_, attempt}))
        return makeErrorReply(code, camerr::kWriteFailed);
    uint32_t first = 0;
    uint32_t last = 0;
    FlashDevice& device = store_.device(openRow_);
    const auto offset = blockRange(telegram, first, last) ? device.offsetOf(first, last)
                                                          : std::nullopt;
    if (!offset) return makeErrorReply(code, camerr::kAddressRange);
    device.write(*offset, telegram + 12, last - first + 1);
    return makeReply(code, twoWords(first, last));
}

Bytes DeviceSession::read(uint16_t code, const uint8_t* telegram, size_t length) {
    if (length < 13) return makeErrorReply(code, camerr::kBadLength);
    if (!accepts(code)) return makeErrorReply(code, camerr::kWrongDeviceCommand);
    if (faults_.readFail.count({openRow_, readsSinceOpen_++}))
        return makeErrorReply(code, camerr::kReadFailed);
    uint32_t first = 0;
    uint32_t last = 0;
    const FlashDevice& device = store_.device(openRow_);
    const bool range = blockRange(telegram, first, last);
    if (range && faults_.wrongEcho.count(code)) {
        first += protocol::kBlockSize;
        last += protocol::kBlockSize;
    }
    const auto offset = range ? device.offsetOf(first, last) : std::nullopt;
    if (!offset) return makeErrorReply(code, camerr::kAddressRange);
    Bytes payload = twoWords(first, last);
    const size_t dataStart = payload.size();
    payload.resize(dataStart + protocol::kBlockSize, 0xFF);
    const auto from = device.content().begin() + long(*offset);
    std::copy(from, from + long(last - first + 1), payload.begin() + long(dataStart));
    if (faults_.readbackMismatch[size_t(openRow_)]) payload[dataStart] ^= 0x01;
    return makeReply(code, payload);
}

Bytes DeviceSession::setChecksum(const uint8_t* telegram, size_t length) {
    const uint16_t code = cmd::SET_CHECKSUM;
    if (length < 17) return makeErrorReply(code, camerr::kBadLength);
    checksumFirst_ = protocol::readU32(telegram + 4);
    checksumLast_ = protocol::readU32(telegram + 8);
    checksumSum_ = protocol::readU32(telegram + 12);
    const FlashDevice& device = store_.device(openRow_);
    const auto offset = device.offsetOf(checksumFirst_, checksumLast_);
    if (!offset) return makeErrorReply(code, camerr::kAddressRange);
    uint32_t sum = 0;
    const auto from = device.content().begin() + long(*offset);
    for (auto it = from; it != from + long(checksumLast_ - checksumFirst_) + 1; ++it) sum += *it;
    if (sum != checksumSum_) return makeErrorReply(code, camerr::kChecksumMismatch);
    Bytes payload = twoWords(checksumFirst_, checksumLast_);
    appendU32(payload, checksumSum_);
    return makeReply(code, payload);
}

}  // namespace sim

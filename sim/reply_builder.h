#pragma once
// Building the telegrams the camera sends.

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/error_codes.h"

namespace sim {

using Bytes = std::vector<uint8_t>;

namespace camerr = protocol::camerr;

// A telegram with `code`, the payload and the checksum.
Bytes makeTelegram(uint16_t code, const Bytes& payload);
// The reply to `command`: code | 0x0080.
Bytes makeReply(uint16_t command, const Bytes& payload);
// The 9-byte error reply: code | 0x00C0, u32 error code.
Bytes makeErrorReply(uint16_t command, uint32_t error);
// A debug text telegram (code 0x0019).
Bytes makeDebugText(const std::string& text);

// Little-endian appenders for building payloads.
void appendU16(Bytes& out, uint16_t value);
void appendU32(Bytes& out, uint32_t value);

}  // namespace sim

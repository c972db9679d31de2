#pragma once
// Building the telegrams the camera sends.

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/error_codes.h"

namespace sim {

using Bytes = std::vector<uint8_t>;

// Camera error codes of the virtual camera (sent in error replies).
namespace camerr {
constexpr uint32_t kUnknownCommand = 0x80001001;
constexpr uint32_t kBadChecksum = 0x80001002;
constexpr uint32_t kBadLength = 0x80001003;
constexpr uint32_t kValueNotSupported = 0x80001004;
constexpr uint32_t kNotSupported = protocol::kCamPagedUnsupportedMask;
constexpr uint32_t kNoDeviceOpen = protocol::kCamNoDeviceOpen;
constexpr uint32_t kDeviceAlreadyOpen = 0x80001055;
constexpr uint32_t kOpenRefused = 0x80001056;
constexpr uint32_t kAddressRange = 0x80001057;
constexpr uint32_t kWrongDeviceCommand = 0x80001058;
constexpr uint32_t kChecksumMismatch = 0x80001060;
constexpr uint32_t kEraseFailed = 0x80001061;
constexpr uint32_t kWriteFailed = 0x80001062;
constexpr uint32_t kReadFailed = 0x80001063;
constexpr uint32_t kCloseFailed = 0x80001064;
}  // namespace camerr

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

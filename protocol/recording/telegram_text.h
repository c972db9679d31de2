#pragma once
// Telegrams and result codes in words, for transcripts and replay reports.

#include <cstdint>
#include <string>

#include "protocol/recording/recording_event.h"

namespace recording {

// The command's name ("WRITE_BLOCK", "0x2A10" for a code without one), the reply's as
// "WRITE_BLOCK reply" (or "WRITE_BLOCK error reply").
std::string commandName(uint16_t code);

// Name, address and length of a telegram: "WRITE_BLOCK address 0x00000100 length 256" for the
// block commands (the block's byte count), "GET_CAMERA_TYPE length 5" for the others (the
// telegram's length field).
std::string describeTelegram(const Bytes& telegram);

// The device address a block, erase, open or checksum command names, if it has one.
bool telegramAddress(const Bytes& telegram, uint32_t& address, uint32_t& length);

// "0x80001054 (no camera)"; "0x00000000 (done)".
std::string resultText(uint32_t code);

}  // namespace recording

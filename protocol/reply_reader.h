#pragma once
// Reading one reply telegram off a channel: the header, any debug text the camera sends before
// the reply, and the body the length field announces. The COM-port transport and the library's
// grabber channel read alike; where they differ the rules below say how, and each channel's own
// reads (and their log lines) stay behind the ByteSource.

#include <cstddef>
#include <cstdint>

#include "protocol/telegram.h"

namespace protocol {

constexpr size_t kReplyHeaderSize = 4;

// What a read is for: the reply's header, its body, or debug text that is thrown away.
enum class ReadPart { Header, Body, DebugText };

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads up to `count` bytes to `buffer + offset`; `got` is the number moved. False when the
    // read call failed.
    virtual bool read(ReadPart part, uint8_t* buffer, size_t offset, size_t count,
                      size_t& got) = 0;
    // A debug text telegram with this header is about to be skipped.
    virtual void debugTextSkipped(const uint8_t* /*header*/) {}
    // The header now in the buffer is the reply's (after any debug text).
    virtual void replyHeaderTaken(const uint8_t* /*header*/, size_t /*got*/) {}
};

struct ReaderRules {
    size_t bufferSize;  // the working buffer: header and the longest body kept
    // Bytes zeroed at the front of the buffer before each header read.
    size_t headerClear;
    // Debug text telegrams skipped before a reply at most; 0 takes the first header as the reply.
    unsigned debugTextLimit;
    // A length field of 4 or less: true ends the read as failed; false reads that many bytes as
    // the body and leaves the verdict to the checksum.
    bool shortLengthFails;
    // A body read that moves nothing: true ends the read as failed; false ends the body there.
    bool emptyReadFails;
    // True reads the body right behind the 4-byte header even when the header read delivered
    // fewer bytes; false goes on from what arrived.
    bool bodyAtHeaderEnd;
};

// The COM-port transport's rules: debug text is skipped (21 telegrams in the programmer, 51 in the
// library), a short length field reads that many bytes, a read that moves nothing ends the body.
constexpr ReaderRules comPortReaderRules(Variant variant) {
    return {kTelegramMax, 16, variant == Variant::Programmer ? 21u : 51u,
            /*shortLengthFails=*/false, /*emptyReadFails=*/false, /*bodyAtHeaderEnd=*/true};
}
// The grabber channel's rules: a 4-byte header and 512 more bytes, no debug text skipping, and a
// reply must announce a payload and arrive whole (the serial library reports a time-out as a
// failed read).
constexpr ReaderRules grabberReaderRules() {
    return {kReplyHeaderSize + kTelegramMax, 5, 0, /*shortLengthFails=*/true,
            /*emptyReadFails=*/true, /*bodyAtHeaderEnd=*/false};
}

// Reads one reply into `buffer` (rules.bufferSize bytes). False when a read failed, the header
// read delivered nothing, or the rules refuse what came; `held` is the number of bytes in the
// buffer that validation looks at.
bool readReply(ByteSource& source, const ReaderRules& rules, uint8_t* buffer, size_t& held);

}  // namespace protocol

#include "protocol/reply_reader.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "protocol/little_endian.h"
#include "protocol/telegram.h"

namespace protocol {

namespace {

// One header read; false on a failed read or one that delivered nothing.
bool readHeader(ByteSource& source, const ReaderRules& rules, uint8_t* buffer, size_t& got) {
    std::memset(buffer, 0, rules.headerClear);
    got = 0;
    const bool ok = source.read(ReadPart::Header, buffer, 0, kReplyHeaderSize, got);
    got = std::min(got, kReplyHeaderSize);
    return ok && got > 0;
}

// Reads and drops the text of the debug telegram whose header is in `buffer`.
bool discardDebugText(ByteSource& source, const uint8_t* buffer) {
    // A length field below 4 wraps to a huge count, which the buffer size then caps.
    size_t remaining =
        std::min<size_t>(uint32_t(readU16(buffer + 2)) - uint32_t(kReplyHeaderSize), kTelegramMax);
    std::array<uint8_t, kTelegramMax> scratch;
    while (remaining > 0) {
        size_t got = 0;
        if (!source.read(ReadPart::DebugText, scratch.data(), 0, remaining, got)) return false;
        if (got == 0) break;
        remaining -= std::min(got, remaining);
    }
    return true;
}

}  // namespace

bool readReply(ByteSource& source, const ReaderRules& rules, uint8_t* buffer, size_t& held) {
    held = 0;
    size_t got = 0;
    if (!readHeader(source, rules, buffer, got)) return false;
    for (unsigned removed = 0; buffer[0] == kDebugTextMark && removed < rules.debugTextLimit;
         ++removed) {
        source.debugTextSkipped(buffer);
        if (!discardDebugText(source, buffer) || !readHeader(source, rules, buffer, got))
            return false;
    }
    source.replyHeaderTaken(buffer, got);

    const size_t length = readU16(buffer + 2);
    if (length <= kReplyHeaderSize && rules.shortLengthFails) return false;
    // The body never runs past the working buffer, whatever the length field claims.
    const size_t body = length > kReplyHeaderSize
                            ? std::min(length - kReplyHeaderSize, rules.bufferSize - kReplyHeaderSize)
                            : length;
    const size_t wanted = kReplyHeaderSize + body;
    held = rules.bodyAtHeaderEnd ? kReplyHeaderSize : got;
    while (held < wanted) {
        size_t read = 0;
        const bool ok = source.read(ReadPart::Body, buffer, held, wanted - held, read);
        held += std::min(read, wanted - held);
        if (!ok) return false;
        if (read == 0) {
            if (rules.emptyReadFails) return false;
            break;
        }
    }
    return true;
}

}  // namespace protocol

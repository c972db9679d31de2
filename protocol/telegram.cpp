#include "protocol/telegram.h"

#include <algorithm>
#include <cstring>

namespace protocol {

ErrorCode checksumError(Variant variant) {
    return variant == Variant::Programmer ? kErrChecksum : kErrLibraryChecksum;
}

uint8_t checksumOf(const uint8_t* bytes, size_t count) {
    uint8_t sum = 0;
    for (size_t i = 0; i < count; ++i)
        sum = uint8_t(sum + bytes[i]);
    return sum;
}

ErrorCode add_checksum(uint8_t* telegram, uint32_t& size, Variant variant) {
    const uint32_t length = readU16(telegram + 2);
    // A length below 1 has no checksum byte at all; treat it like a telegram that does not fit.
    const bool tooLong = variant == Variant::Programmer ? (length < 1 || length - 1 > size)
                                                        : (length < 1 || length - 1 >= size);
    if (tooLong)
        return checksumError(variant);
    telegram[length - 1] = checksumOf(telegram, length - 1);
    size = length;
    return kOk;
}

ErrorCode test_checksum(const uint8_t* telegram, size_t available, uint32_t& size, Variant variant,
                        LogSink* log) {
    const uint32_t length = available >= 4 ? readU16(telegram + 2) : 0;
    // The telegram must fit both the capacity the caller accepts and the bytes really held.
    const bool fits = length >= 1 && length - 1 <= size && length <= available;
    if (!fits || telegram[length - 1] != checksumOf(telegram, length - 1)) {
        if (variant == Variant::Library && log)
            log->log("test_checksum size error");
        return checksumError(variant);
    }
    size = length;
    return kOk;
}

ErrorCode validateReply(const uint8_t* received, size_t available, uint16_t commandCode,
                        uint8_t* reply, uint32_t capacity, ErrorCode result, Variant variant,
                        LogSink& log) {
    // Header and error code as far as they arrived; missing bytes read as 0.
    uint8_t head[8] = {};
    if (received != nullptr) std::memcpy(head, received, std::min(available, sizeof head));
    const uint16_t replyCode = readU16(head);
    const uint16_t expected = uint16_t(commandCode | kReplyBit);
    if ((replyCode & kErrorReplyMask) == kErrorReplyMask) {
        result = readU32(head + 4);
        log.log("ERROR: RESPONSE_ERROR_CODE com_out: 0x%x dwerrmess: 0x%x", replyCode, result);
    }
    if (result == kOk && replyCode != expected) {
        result = kErrReplyCode;
        log.log("ERROR: com_out: != com_in 0x%x != 0x%x", replyCode, expected);
    }
    uint32_t checked = std::max<uint32_t>(capacity, 9);
    if (received == nullptr || test_checksum(received, available, checked, variant, &log) != kOk) {
        log.log("ERROR: checksum");
        return checksumError(variant);
    }
    if (reply != nullptr && capacity > 0) {
        std::memcpy(reply, received, std::min<uint32_t>(checked - 1, capacity));
    }
    return result;
}

}  // namespace protocol

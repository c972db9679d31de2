#include "protocol/telegram.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "protocol/commands.h"
#include "pty_peer.h"
#include "recording_log.h"

using namespace protocol;
using testing::ElementsAre;
using testing_support::Bytes;
using testing_support::errorReply;
using testing_support::telegram;

namespace {

class ReplyValidation : public ::testing::Test {
protected:
    // Validates `bytes` held as the transport holds them: in a zero-filled 512-byte buffer.
    ErrorCode validate(const Bytes& bytes, uint32_t capacity, ErrorCode result = kOk) {
        std::array<uint8_t, kTelegramMax> held{};
        std::copy(bytes.begin(), bytes.end(), held.begin());
        reply.fill(0xEE);
        return validateReply(held.data(), bytes.size(), 0x0110, capacity ? reply.data() : nullptr,
                             capacity, result, Variant::Programmer, log);
    }
    testing_support::RecordingLog log;
    std::array<uint8_t, 32> reply{};
};

}  // namespace

TEST(Checksum, BothVariantsSizeRulesAndTheFiveBytesOnTheWire) {
    // Size equal to length - 1: the programmer writes the checksum, the library refuses.
    Request request = simpleRequest(cmd::GET_CAMERA_TYPE);
    uint32_t size = 4;
    EXPECT_EQ(add_checksum(request.bytes.data(), size, Variant::Library), kErrLibraryChecksum);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(request.bytes[4], 0);  // nothing changed
    EXPECT_EQ(add_checksum(request.bytes.data(), size, Variant::Programmer), kOk);
    EXPECT_EQ(size, 5u);
    EXPECT_THAT(Bytes(request.bytes.begin(), request.bytes.begin() + 5),
                ElementsAre(0x10, 0x01, 0x05, 0x00, 0x16));

    Request other = simpleRequest(cmd::GET_CAMERA_TYPE);
    size = 3;
    EXPECT_EQ(add_checksum(other.bytes.data(), size, Variant::Programmer), kErrChecksum);
    EXPECT_EQ(size, 3u);
    size = 5;
    EXPECT_EQ(add_checksum(other.bytes.data(), size, Variant::Library), kOk);
    EXPECT_EQ(other.bytes[4], 0x16);
    // A length field of 0 has no place for a checksum at all.
    std::array<uint8_t, 8> empty{};
    size = 8;
    EXPECT_EQ(add_checksum(empty.data(), size, Variant::Programmer), kErrChecksum);
}

TEST(Checksum, TestRefusesBadSumsTooLongTelegramsAndBytesNotHeld) {
    testing_support::RecordingLog log;
    const Bytes reply = telegram(0x0190, Bytes(18, 0));  // 23 bytes
    Bytes corrupt = reply;
    corrupt[10] ^= 1;
    // Capacity (length - 1 may equal it), bytes held, expected result.
    const struct {
        uint32_t capacity;
        const Bytes& bytes;
        size_t held;
        ErrorCode result;
    } cases[] = {
        {23, reply, 23, kOk}, {21, reply, 23, kErrChecksum}, {22, reply, 23, kOk},
        {100, corrupt, 23, kErrChecksum},
        {100, reply, 20, kErrChecksum},  // the checksum byte at 22 is not there to test
    };
    for (const auto& c : cases) {
        uint32_t size = c.capacity;
        EXPECT_EQ(test_checksum(c.bytes.data(), c.held, size, Variant::Programmer, &log), c.result)
            << c.capacity << " " << c.held;
        if (c.result == kOk) {
            EXPECT_EQ(size, 23u);
        }
    }
    EXPECT_TRUE(log.lines().empty());  // the programmer's variant does not log
    uint32_t size = 100;
    EXPECT_EQ(test_checksum(corrupt.data(), corrupt.size(), size, Variant::Library, &log),
              kErrLibraryChecksum);
    EXPECT_THAT(log.lines(), ElementsAre("test_checksum size error"));
}

TEST_F(ReplyValidation, AcceptedReplyIsCopiedWithoutChecksumCutToCapacity) {
    const Bytes nine = telegram(0x0190, {1, 2, 3, 4});
    EXPECT_EQ(validate(nine, 16), kOk);
    EXPECT_THAT(Bytes(reply.begin(), reply.begin() + 9),
                ElementsAre(0x90, 0x01, 0x09, 0x00, 1, 2, 3, 4, 0xEE));
    EXPECT_EQ(validate(nine, 5), kOk);
    EXPECT_EQ(reply[4], 1);
    EXPECT_EQ(reply[5], 0xEE);  // capacity 5: nothing past it
    EXPECT_EQ(validate(nine, 0), kOk);  // no buffer: read and validated, nothing copied
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(ReplyValidation, ErrorReplyPassesTheCameraCodeOnAndHandsOverTheTelegram) {
    EXPECT_EQ(validate(errorReply(0x0110, kCamNoDeviceOpen), 17), kCamNoDeviceOpen);
    EXPECT_THAT(Bytes(reply.begin(), reply.begin() + 9),
                ElementsAre(0xD0, 0x01, 0x09, 0x00, 0x53, 0x10, 0x00, 0x80, 0xEE));
    EXPECT_THAT(log.lines(),
                ElementsAre("ERROR: RESPONSE_ERROR_CODE com_out: 0x1d0 dwerrmess: 0x80001053"));
}

TEST_F(ReplyValidation, WrongCodeBadChecksumAndOversizedRepliesFail) {
    EXPECT_EQ(validate(telegram(0x0290), 17), kErrReplyCode);
    EXPECT_TRUE(log.has("ERROR: com_out: != com_in 0x290 != 0x190"));
    // A bad checksum wins over the error code of an error reply, and nothing is copied.
    Bytes bad = errorReply(0x0110, kCamNoDeviceOpen);
    bad.back() ^= 0xFF;
    EXPECT_EQ(validate(bad, 17), kErrChecksum);
    EXPECT_EQ(reply[0], 0xEE);
    EXPECT_TRUE(log.has("ERROR: checksum"));
    // Longer than max(N, 9) + 1 fails although its checksum is right; 9 + 1 still passes.
    EXPECT_EQ(validate(telegram(0x0190, {1, 2, 3, 4, 5, 6}), 0), kErrChecksum);
    EXPECT_EQ(validate(telegram(0x0190, {1, 2, 3, 4, 5}), 0), kOk);
    // A failed checksum of the command stays the result although the reply is good.
    EXPECT_EQ(validate(telegram(0x0190, {1, 2, 3, 4, 5}), 0, kErrChecksum), kErrChecksum);
}

TEST_F(ReplyValidation, LengthFieldBeyondTheWorkingBufferIsNeverReadOrCopied) {
    std::array<uint8_t, kTelegramMax> held{};
    writeU16(&held[0], 0x0190);
    writeU16(&held[2], 600);
    std::vector<uint8_t> big(1000, 0xEE);
    EXPECT_EQ(validateReply(held.data(), held.size(), 0x0110, big.data(), 1000, kOk,
                            Variant::Programmer, log), kErrChecksum);
    EXPECT_EQ(validateReply(held.data(), held.size(), 0x0110, big.data(), 1000, kOk,
                            Variant::Library, log), kErrLibraryChecksum);
    EXPECT_EQ(big[0], 0xEE);
    // Fewer than the 8 bytes of an error reply: the missing code reads as 0, nothing beyond.
    const uint8_t partial[2] = {0xD0, 0x01};
    EXPECT_EQ(validateReply(partial, 2, 0x0110, nullptr, 0, kOk, Variant::Programmer, log),
              kErrChecksum);
}

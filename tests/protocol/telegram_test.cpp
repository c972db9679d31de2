#include "protocol/telegram.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "protocol/commands.h"
#include "../tessiport/test_support.h"
#include "recording_log.h"

using namespace protocol;
using testing::ElementsAre;
using libtest::Bytes;
using libtest::telegram;

namespace {

Bytes errorReply(uint16_t code, uint32_t error) {
    Bytes payload(4);
    writeU32(payload.data(), error);
    return telegram(uint16_t(code | 0x00C0), payload);
}

class ReplyValidation : public ::testing::Test {
protected:
    // Validates `bytes` held as the transport holds them: in a zero-filled 512-byte buffer.
    ErrorCode validate(const Bytes& bytes, uint32_t capacity, ErrorCode result = kOk) {
        std::array<uint8_t, kTelegramMax> held{};
        for (size_t i = 0; i < bytes.size(); ++i) held[i] = bytes[i];
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
    size = 3;
    EXPECT_EQ(add_checksum(request.bytes.data(), size, Variant::Programmer), kErrChecksum);
    // A length field of 0 has no place for a checksum at all.
    std::array<uint8_t, 8> empty{};
    size = 8;
    EXPECT_EQ(add_checksum(empty.data(), size, Variant::Programmer), kErrChecksum);
}

TEST(Checksum, TestRefusesBadSumsTooLongTelegramsAndBytesNotHeld) {
    testing_support::RecordingLog log;
    const Bytes reply = telegram(0x0190, Bytes(18, 0));  // 23 bytes
    uint32_t size = 22;  // length - 1 may equal the capacity
    EXPECT_EQ(test_checksum(reply.data(), 23, size, Variant::Programmer, &log), kOk);
    EXPECT_EQ(size, 23u);
    size = 21;
    EXPECT_EQ(test_checksum(reply.data(), 23, size, Variant::Programmer, &log), kErrChecksum);
    size = 100;  // the checksum byte at 22 is not there to test
    EXPECT_EQ(test_checksum(reply.data(), 20, size, Variant::Programmer, &log), kErrChecksum);
    EXPECT_TRUE(log.lines().empty());  // the programmer's variant does not log
    Bytes corrupt = reply;
    corrupt[10] ^= 1;
    EXPECT_EQ(test_checksum(corrupt.data(), 23, size, Variant::Library, &log),
              kErrLibraryChecksum);
    EXPECT_THAT(log.lines(), ElementsAre("test_checksum size error"));
}

TEST_F(ReplyValidation, RepliesAreCopiedWithoutChecksumCutToCapacityAndErrorCodesPassOn) {
    EXPECT_EQ(validate(telegram(0x0190, {1, 2, 3, 4}), 5), kOk);
    EXPECT_THAT(Bytes(reply.begin(), reply.begin() + 6), ElementsAre(0x90, 0x01, 0x09, 0, 1, 0xEE));
    EXPECT_EQ(validate(errorReply(0x0110, kCamNoDeviceOpen), 17), kCamNoDeviceOpen);
    EXPECT_THAT(Bytes(reply.begin(), reply.begin() + 9),
                ElementsAre(0xD0, 0x01, 0x09, 0x00, 0x53, 0x10, 0x00, 0x80, 0xEE));
    EXPECT_THAT(log.lines(),
                ElementsAre("ERROR: RESPONSE_ERROR_CODE com_out: 0x1d0 dwerrmess: 0x80001053"));
    // Fewer than the 8 bytes of an error reply: the missing code reads as 0, nothing beyond.
    const uint8_t partial[2] = {0xD0, 0x01};
    EXPECT_EQ(validateReply(partial, 2, 0x0110, nullptr, 0, kOk, Variant::Programmer, log),
              kErrChecksum);
}

TEST_F(ReplyValidation, WrongCodeBadChecksumAndOversizedRepliesFail) {
    EXPECT_EQ(validate(telegram(0x0290), 17), kErrReplyCode);
    // A bad checksum wins over the error code of an error reply, and nothing is copied.
    Bytes bad = errorReply(0x0110, kCamNoDeviceOpen);
    bad.back() ^= 0xFF;
    EXPECT_EQ(validate(bad, 17), kErrChecksum);
    EXPECT_EQ(reply[0], 0xEE);
    // Longer than max(N, 9) + 1 fails although its checksum is right; 9 + 1 still passes.
    EXPECT_EQ(validate(telegram(0x0190, {1, 2, 3, 4, 5, 6}), 0), kErrChecksum);
    EXPECT_EQ(validate(telegram(0x0190, {1, 2, 3, 4, 5}), 0), kOk);
    // A failed checksum of the command stays the result although the reply is good.
    EXPECT_EQ(validate(telegram(0x0190, {1, 2, 3, 4, 5}), 0, kErrChecksum), kErrChecksum);
}

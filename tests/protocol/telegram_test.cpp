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
using testing_support::RecordingLog;

namespace {

// A reply as the transport holds it: in a zero-filled 512-byte buffer.
struct Received {
    explicit Received(const Bytes& bytes) : held(bytes.size()) {
        std::copy(bytes.begin(), bytes.end(), buffer.begin());
    }
    std::array<uint8_t, kTelegramMax> buffer{};
    size_t held;
};

Bytes cameraTypeReply() {
    Bytes payload(18, 0);
    payload[0] = 0x00;
    payload[1] = 0x13;                                  // camera type 0x1300
    return testing_support::telegram(0x0190, payload);  // 23 bytes
}

}  // namespace

TEST(Checksum, CameraTypeRequestIsTheFiveBytesOnTheWire) {
    Request request = simpleRequest(cmd::GET_CAMERA_TYPE);
    uint32_t size = request.size;
    ASSERT_EQ(add_checksum(request.bytes.data(), size, Variant::Programmer), kOk);
    EXPECT_EQ(size, 5u);
    EXPECT_THAT(Bytes(request.bytes.begin(), request.bytes.begin() + 5),
                ElementsAre(0x10, 0x01, 0x05, 0x00, 0x16));
    EXPECT_EQ(checksumOf(request.bytes.data(), 4), 0x16);
}

TEST(Checksum, SizeRulesDifferBetweenProgrammerAndLibrary) {
    // Size equal to length - 1: the programmer writes the checksum, the library refuses.
    Request request = simpleRequest(cmd::GET_CAMERA_TYPE);
    uint32_t size = 4;
    EXPECT_EQ(add_checksum(request.bytes.data(), size, Variant::Library), kErrLibraryChecksum);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(request.bytes[4], 0);  // nothing changed
    EXPECT_EQ(add_checksum(request.bytes.data(), size, Variant::Programmer), kOk);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(request.bytes[4], 0x16);

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
    RecordingLog log;
    const Bytes reply = cameraTypeReply();
    uint32_t size = 23;
    EXPECT_EQ(test_checksum(reply.data(), reply.size(), size, Variant::Programmer, &log), kOk);
    EXPECT_EQ(size, 23u);

    size = 21;  // length - 1 > capacity
    EXPECT_EQ(test_checksum(reply.data(), reply.size(), size, Variant::Programmer, &log),
              kErrChecksum);
    size = 22;  // length - 1 == capacity is accepted
    EXPECT_EQ(test_checksum(reply.data(), reply.size(), size, Variant::Programmer, &log), kOk);

    Bytes corrupt = reply;
    corrupt[10] ^= 1;
    size = 100;
    EXPECT_EQ(test_checksum(corrupt.data(), corrupt.size(), size, Variant::Programmer, &log),
              kErrChecksum);
    // Only 20 bytes arrived: the checksum byte at 22 is not there to test.
    size = 100;
    EXPECT_EQ(test_checksum(reply.data(), 20, size, Variant::Programmer, &log), kErrChecksum);
    EXPECT_TRUE(log.lines().empty());  // the programmer's variant does not log

    EXPECT_EQ(test_checksum(corrupt.data(), corrupt.size(), size, Variant::Library, &log),
              kErrLibraryChecksum);
    EXPECT_THAT(log.lines(), ElementsAre("test_checksum size error"));
}

TEST(ReplyValidation, AcceptedReplyIsCopiedWithoutChecksumCutToCapacity) {
    RecordingLog log;
    const Received received(testing_support::telegram(0x0190, {1, 2, 3, 4}));  // 9 bytes
    std::array<uint8_t, 16> reply;
    reply.fill(0xEE);
    EXPECT_EQ(validateReply(received.buffer.data(), received.held, 0x0110, reply.data(), 16, kOk,
                            Variant::Programmer, log),
              kOk);
    EXPECT_THAT(Bytes(reply.begin(), reply.begin() + 9),
                ElementsAre(0x90, 0x01, 0x09, 0x00, 1, 2, 3, 4, 0xEE));

    reply.fill(0xEE);
    EXPECT_EQ(validateReply(received.buffer.data(), received.held, 0x0110, reply.data(), 5, kOk,
                            Variant::Programmer, log),
              kOk);
    EXPECT_EQ(reply[4], 1);
    EXPECT_EQ(reply[5], 0xEE);  // capacity 5: nothing past it

    // Capacity 0 and no buffer: read and validated, nothing copied.
    EXPECT_EQ(validateReply(received.buffer.data(), received.held, 0x0110, nullptr, 0, kOk,
                            Variant::Programmer, log),
              kOk);
    EXPECT_TRUE(log.lines().empty());
}

TEST(ReplyValidation, ErrorReplyPassesTheCameraCodeOnAndHandsOverTheTelegram) {
    RecordingLog log;
    const Received received(testing_support::errorReply(0x0110, kCamNoDeviceOpen));
    ASSERT_EQ(received.held, 9u);
    std::array<uint8_t, 17> reply{};
    EXPECT_EQ(validateReply(received.buffer.data(), received.held, 0x0110, reply.data(), 17, kOk,
                            Variant::Programmer, log),
              kCamNoDeviceOpen);
    EXPECT_THAT(Bytes(reply.begin(), reply.begin() + 9),
                ElementsAre(0xD0, 0x01, 0x09, 0x00, 0x53, 0x10, 0x00, 0x80, 0x00));
    EXPECT_THAT(log.lines(),
                ElementsAre("ERROR: RESPONSE_ERROR_CODE com_out: 0x1d0 dwerrmess: 0x80001053"));
}

TEST(ReplyValidation, WrongCodeBadChecksumAndOversizedRepliesFail) {
    RecordingLog log;
    std::array<uint8_t, 32> reply;

    const Received wrongCode(testing_support::telegram(0x0290));
    EXPECT_EQ(validateReply(wrongCode.buffer.data(), wrongCode.held, 0x0110, reply.data(), 17, kOk,
                            Variant::Programmer, log),
              kErrReplyCode);
    EXPECT_TRUE(log.has("ERROR: com_out: != com_in 0x290 != 0x190"));

    // A bad checksum wins over the error code of an error reply, and nothing is copied.
    Bytes bad = testing_support::errorReply(0x0110, kCamNoDeviceOpen);
    bad.back() ^= 0xFF;
    const Received badSum(bad);
    reply.fill(0xEE);
    EXPECT_EQ(validateReply(badSum.buffer.data(), badSum.held, 0x0110, reply.data(), 17, kOk,
                            Variant::Programmer, log),
              kErrChecksum);
    EXPECT_EQ(reply[0], 0xEE);
    EXPECT_TRUE(log.has("ERROR: checksum"));

    // Longer than max(N, 9) + 1 fails although its checksum is right; 9 + 1 still passes.
    const Received eleven(testing_support::telegram(0x0190, {1, 2, 3, 4, 5, 6}));
    const Received ten(testing_support::telegram(0x0190, {1, 2, 3, 4, 5}));
    EXPECT_EQ(validateReply(eleven.buffer.data(), eleven.held, 0x0110, reply.data(), 0, kOk,
                            Variant::Programmer, log),
              kErrChecksum);
    EXPECT_EQ(validateReply(ten.buffer.data(), ten.held, 0x0110, reply.data(), 0, kOk,
                            Variant::Programmer, log),
              kOk);

    // A failed checksum of the command stays the result although the reply is good.
    EXPECT_EQ(validateReply(ten.buffer.data(), ten.held, 0x0110, reply.data(), 0, kErrChecksum,
                            Variant::Programmer, log),
              kErrChecksum);
}

TEST(ReplyValidation, LengthFieldBeyondTheWorkingBufferIsNeverReadOrCopied) {
    RecordingLog log;
    std::array<uint8_t, kTelegramMax> held{};
    writeU16(&held[0], 0x0190);
    writeU16(&held[2], 600);
    std::vector<uint8_t> reply(1000, 0xEE);
    for (Variant variant : {Variant::Programmer, Variant::Library}) {
        const ErrorCode expected =
            variant == Variant::Programmer ? kErrChecksum : kErrLibraryChecksum;
        EXPECT_EQ(
            validateReply(held.data(), held.size(), 0x0110, reply.data(), 1000, kOk, variant, log),
            expected);
    }
    EXPECT_EQ(reply[0], 0xEE);
    // Fewer than the 8 bytes of an error reply: the missing code reads as 0, nothing beyond.
    const uint8_t partial[2] = {0xD0, 0x01};
    EXPECT_EQ(validateReply(partial, 2, 0x0110, nullptr, 0, kOk, Variant::Programmer, log),
              kErrChecksum);
}

// Identification, records, debug text, reply faults and pacing of the real camsim binary.

#include <gtest/gtest.h>

#include "port_client.h"

using namespace simtest;
using namespace std::chrono_literals;

namespace {
const Bytes kGetCameraType = {0x10, 0x01, 0x05, 0x00, 0x16};
}

TEST(CamsimIdentification, AnswersTheFiveByteGetCameraTypeAndRefusesBadCommands) {
    Camera cam({"--serial", "7", "--type", "1300", "--link-word", "1"});
    ASSERT_EQ(cam.code(kGetCameraType), 0x0190);
    EXPECT_TRUE(checksumOk(cam.last));
    EXPECT_EQ(cam.last.size(), 24u);  // fits the callers' capacity of 23 plus the checksum
    EXPECT_EQ(u16At(cam.last, 4), 0x1300);
    EXPECT_EQ(u32At(cam.last, 8), 7u);
    EXPECT_EQ(u16At(cam.last, 20), 1);

    EXPECT_EQ(cam.code(twoWords(0x0003)), 0x00C3);
    EXPECT_EQ(cam.last, telegram(0x00C3, withU32s({0x80001053})));
    EXPECT_EQ(cam.code(telegram(0x4242)), 0x42C2);
    EXPECT_EQ(u32At(cam.last, 4), 0x80001001u);
    Bytes corrupt = kGetCameraType;
    corrupt.back() ^= 0xFF;
    EXPECT_EQ(cam.code(corrupt), 0x01D0);
}

TEST(CamsimRecords, TwelveRecordsComeInTwoPagesAndAnUnpagedCameraGivesDeviceOrder) {
    // Main uP + bootloader + ten extra records = 12: ten on page 0, two on page 1, ten unpaged.
    Camera cam({"--firmware", "0:4:3.02", "--extra-records", "10"});
    ASSERT_EQ(cam.code(telegram(0x0D10, {0})), 0x0D90);
    EXPECT_EQ(cam.last.size(), 207u);
    EXPECT_EQ(u16At(cam.last, 4), 12);
    EXPECT_EQ(textAt(cam.last, 6), "Main uP");
    EXPECT_EQ(u16At(cam.last, 6 + 16), 0x0302);  // minor, major
    EXPECT_EQ(u16At(cam.last, 6 + 18), 4);
    ASSERT_EQ(cam.code(telegram(0x0D10, {1})), 0x0D90);
    EXPECT_EQ(cam.last.size(), 6u + 2 * 20 + 1);
    EXPECT_EQ(textAt(cam.last, 26), "Aux 10");
    ASSERT_EQ(cam.code(telegram(0x0810)), 0x0890);
    EXPECT_EQ(cam.last.size(), 207u);

    Camera unpaged({"--type", "0x1310", "--no-paged-firmware", "--firmware", "4:1:1.00",
                    "--firmware", "0:1:1.00", "--bootloader", "2:1.07"});
    unpaged.code(telegram(0x0D10, {0}));
    EXPECT_EQ(u32At(unpaged.last, 4), 0x80001020u);
    ASSERT_EQ(unpaged.code(telegram(0x0810)), 0x0890);
    ASSERT_EQ(u16At(unpaged.last, 4), 3);
    const char* expected[] = {"Main uP", "Head FPGA", "boot.tarun"};
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(textAt(unpaged.last, 6 + i * 20), expected[i]);
    EXPECT_EQ(unpaged.last[6 + 2 * 20 + 16], 7);
    EXPECT_EQ(u16At(unpaged.last, 6 + 2 * 20 + 18), 2);
}

TEST(CamsimBootMode, ReportsBootTypeOnlyTheBootloaderAndOnlyMainUp) {
    Camera cam({"--boot-mode", "--firmware", "0:4:3.02"});
    ASSERT_EQ(cam.code(kGetCameraType), 0x0190);
    EXPECT_EQ(u16At(cam.last, 4), 0x0800);
    ASSERT_EQ(cam.code(telegram(0x0810)), 0x0890);
    ASSERT_EQ(u16At(cam.last, 4), 1);
    EXPECT_EQ(textAt(cam.last, 6), "Main Bootloader");
    EXPECT_EQ(cam.code(twoWords(0x7103)), 0x71C3);
    EXPECT_EQ(cam.code(twoWords(0x7003)), 0x7083);
}

TEST(CamsimDebugText, TwoDebugTelegramsPrecedeRepliesUntilVerboseZero) {
    Camera cam({"--debug-text", "2"});
    cam.port.send(kGetCameraType);
    for (int i = 0; i < 2; ++i) {
        const Bytes debug = cam.port.receive(1000ms).value_or(Bytes{});
        EXPECT_EQ(u16At(debug, 0) & 0xFF, 0x19);
        EXPECT_TRUE(checksumOk(debug));
    }
    EXPECT_EQ(u16At(cam.port.receive(1000ms).value_or(Bytes{}), 0), 0x0190);
    const char text[] = "verbose 0\r";
    EXPECT_EQ(cam.code(telegram(0x0019, Bytes(text, text + 10))), 0x0099);
    cam.port.send(kGetCameraType);  // no debug text any more
    EXPECT_EQ(u16At(cam.port.receive(1000ms).value_or(Bytes{}), 0), 0x0190);
}

TEST(CamsimFaults, ReplyFaultsChangeOnlyTheirCommand) {
    Camera cam({"--fault", "wrong-code:0x0110", "--fault", "bad-checksum:0x0210", "--fault",
                "error:0x0910:0x80001234", "--fault", "short-body:0x0710"});
    EXPECT_EQ(cam.code(kGetCameraType), 0x0290);
    EXPECT_TRUE(checksumOk(cam.last));
    EXPECT_EQ(cam.code(telegram(0x0210)), 0x0290);
    EXPECT_FALSE(checksumOk(cam.last));
    EXPECT_EQ(cam.code(telegram(0x0910)), 0x09D0);
    EXPECT_EQ(u32At(cam.last, 4), 0x80001234u);
    cam.port.send(telegram(0x0710));
    const Bytes partial = cam.port.readFor(200ms);
    ASSERT_GE(partial.size(), 4u);
    EXPECT_LT(partial.size(), size_t(u16At(partial, 2)));
}

TEST(CamsimPace, CommandsAndRepliesTakeTheWireTimeOfTheirLineSpeed) {
    // Ten bits a byte at 9600 baud. A 268-byte WRITE_BLOCK needs about 279 ms before the camera
    // has all of it; the pty delivers it at once, so an early reply would show unpaced input.
    Camera cam({"--pace", "9600", "--extra-records", "10"});
    const auto took = [&](const Bytes& command) {
        const auto start = SteadyClock::now();
        cam.code(command, 2000ms);
        return SteadyClock::now() - start;
    };
    const Bytes command = telegram(0x1103, Bytes(263, 0x5A));
    ASSERT_EQ(command.size(), 268u);
    const auto writeTook = took(command);
    EXPECT_EQ(u32At(cam.last, 4), 0x80001053u);  // no device open: any reply will do
    EXPECT_GE(writeTook, 278ms);
    EXPECT_LT(writeTook, 800ms);
    const auto recordsTook = took(telegram(0x0810));  // 207 bytes back: about 216 ms
    EXPECT_GE(recordsTook, 200ms);
    EXPECT_LT(recordsTook, 600ms);
}

// Identification, records, debug text and reply faults of the real camsim binary.

#include <gtest/gtest.h>

#include <cstring>

#include "port_client.h"

using namespace simtest;
using namespace std::chrono_literals;

namespace {

bool checksumOk(const Bytes& t) {
    uint8_t sum = 0;
    for (size_t i = 0; i + 1 < t.size(); ++i) sum = uint8_t(sum + t[i]);
    return !t.empty() && t.size() == u16At(t, 2) && sum == t.back();
}

std::string recordName(const Bytes& reply, size_t index, size_t recordSize = 20) {
    const char* p = reinterpret_cast<const char*>(&reply[6 + index * recordSize]);
    return std::string(p, strnlen(p, 16));
}

const Bytes kGetCameraType = {0x10, 0x01, 0x05, 0x00, 0x16};

}  // namespace

TEST(CamsimIdentification, AnswersTheFiveByteGetCameraType) {
    CamsimProcess sim({"--serial", "7", "--type", "1300", "--link-word", "1"});
    ASSERT_TRUE(sim.started());
    PortClient port(sim.portPath());
    auto reply = port.transact(kGetCameraType);
    ASSERT_TRUE(reply);
    EXPECT_TRUE(checksumOk(*reply));
    EXPECT_EQ(reply->size(), 24u);  // fits the callers' capacity of 23 plus the checksum
    EXPECT_EQ(u16At(*reply, 0), 0x0190);
    EXPECT_EQ(u16At(*reply, 4), 0x1300);
    EXPECT_EQ(u32At(*reply, 8), 7u);
    EXPECT_EQ(u16At(*reply, 20), 1);
}

TEST(CamsimIdentification, ErrorRepliesForClosedDeviceUnknownCommandAndBadChecksum) {
    CamsimProcess sim({});
    PortClient port(sim.portPath());
    auto close = port.transact(telegram(0x0003, withU32s({0, 0})));
    ASSERT_TRUE(close);
    EXPECT_EQ(close->size(), 9u);
    EXPECT_EQ(u16At(*close, 0), 0x00C3);
    EXPECT_EQ(u32At(*close, 4), 0x80001053u);
    EXPECT_TRUE(checksumOk(*close));

    auto unknown = port.transact(telegram(0x4242));
    ASSERT_TRUE(unknown);
    EXPECT_EQ(u16At(*unknown, 0), 0x42C2);
    EXPECT_EQ(u32At(*unknown, 4), 0x80001001u);

    Bytes corrupt = kGetCameraType;
    corrupt.back() ^= 0xFF;
    auto bad = port.transact(corrupt);
    ASSERT_TRUE(bad);
    EXPECT_EQ(u16At(*bad, 0), 0x01D0);

    // Garbage on the line (impossible length fields) is skipped; the next command is answered.
    port.send({0xFF, 0xFF, 0xFF, 0x00, 0x01});
    auto after = port.transact(kGetCameraType);
    ASSERT_TRUE(after);
    EXPECT_EQ(u16At(*after, 0), 0x0190);
}

TEST(CamsimRecords, TwelveFirmwareRecordsComeInTwoPages) {
    // Main uP + bootloader + ten extra records = 12.
    CamsimProcess sim({"--firmware", "0:4:3.02", "--extra-records", "10"});
    PortClient port(sim.portPath());
    auto page0 = port.transact(telegram(0x0D10, {0}));
    ASSERT_TRUE(page0);
    EXPECT_EQ(page0->size(), 207u);
    EXPECT_EQ(u16At(*page0, 0), 0x0D90);
    EXPECT_EQ(u16At(*page0, 4), 12);
    EXPECT_EQ(recordName(*page0, 0), "Main uP");
    EXPECT_EQ((*page0)[6 + 16], 2);  // minor
    EXPECT_EQ((*page0)[6 + 17], 3);  // major
    EXPECT_EQ(u16At(*page0, 6 + 18), 4);
    EXPECT_EQ(recordName(*page0, 1), "Main Bootloader");
    EXPECT_EQ((*page0)[6 + 20 + 16], 6);  // default bootloader V01.06
    EXPECT_EQ(recordName(*page0, 9), "Aux 8");

    auto page1 = port.transact(telegram(0x0D10, {1}));
    ASSERT_TRUE(page1);
    EXPECT_EQ(u16At(*page1, 4), 12);
    EXPECT_EQ(page1->size(), 6u + 2 * 20 + 1);
    EXPECT_EQ(recordName(*page1, 0), "Aux 9");
    EXPECT_EQ(recordName(*page1, 1), "Aux 10");

    // The unpaged command reports the full count and the first ten.
    auto all = port.transact(telegram(0x0810));
    ASSERT_TRUE(all);
    EXPECT_EQ(u16At(*all, 4), 12);
    EXPECT_EQ(all->size(), 207u);
}

TEST(CamsimRecords, DeviceOrderBootloaderNameAndMissingPages) {
    CamsimProcess sim({"--type", "0x1310", "--no-paged-firmware", "--firmware", "4:1:1.00",
                       "--firmware", "3:1:1.00", "--firmware", "0:1:1.00", "--firmware",
                       "2:1:1.00", "--firmware", "1:1:1.00", "--bootloader", "2:1.07"});
    PortClient port(sim.portPath());
    auto paged = port.transact(telegram(0x0D10, {0}));
    ASSERT_TRUE(paged);
    EXPECT_EQ(u32At(*paged, 4), 0x80001020u);
    auto all = port.transact(telegram(0x0810));
    ASSERT_TRUE(all);
    ASSERT_EQ(u16At(*all, 4), 6);
    const char* expected[] = {"Main uP", "Main FPGA", "EEPROM", "Main PLL", "Head FPGA",
                              "boot.tarun"};
    for (size_t i = 0; i < 6; ++i) EXPECT_EQ(recordName(*all, i), expected[i]);
    EXPECT_EQ((*all)[6 + 5 * 20 + 16], 7);
    EXPECT_EQ(u16At(*all, 6 + 5 * 20 + 18), 2);
}

TEST(CamsimRecords, HardwareRecordsFromTheCommandLine) {
    CamsimProcess sim({"--hardware", "KM4MAIN:27:2", "--hardware", "KM4GIGE:5:6"});
    PortClient port(sim.portPath());
    auto hw = port.transact(telegram(0x0710));
    ASSERT_TRUE(hw);
    ASSERT_EQ(u16At(*hw, 4), 2);
    EXPECT_EQ(hw->size(), 6u + 2 * 22 + 1);
    EXPECT_EQ(recordName(*hw, 0, 22), "KM4MAIN");
    EXPECT_EQ(u16At(*hw, 6 + 18), 27);
    EXPECT_EQ(u16At(*hw, 6 + 20), 2);
    EXPECT_EQ(recordName(*hw, 1, 22), "KM4GIGE");
}

TEST(CamsimBootMode, ReportsBootTypeOnlyTheBootloaderAndOnlyMainUp) {
    CamsimProcess sim({"--boot-mode", "--firmware", "0:4:3.02"});
    PortClient port(sim.portPath());
    auto type = port.transact(kGetCameraType);
    ASSERT_TRUE(type);
    EXPECT_EQ(u16At(*type, 4), 0x0800);
    auto fw = port.transact(telegram(0x0810));
    ASSERT_TRUE(fw);
    ASSERT_EQ(u16At(*fw, 4), 1);
    EXPECT_EQ(recordName(*fw, 0), "Main Bootloader");
    auto fpga = port.transact(telegram(0x7103, withU32s({0, 0})));
    ASSERT_TRUE(fpga);
    EXPECT_EQ(u16At(*fpga, 0), 0x71C3);
    auto up = port.transact(telegram(0x7003, withU32s({0, 0})));
    ASSERT_TRUE(up);
    EXPECT_EQ(u16At(*up, 0), 0x7083);
}

TEST(CamsimDebugText, PrecedesRepliesUntilVerboseZero) {
    CamsimProcess sim({"--debug-text", "2"});
    PortClient port(sim.portPath());
    port.send(kGetCameraType);
    for (int i = 0; i < 2; ++i) {
        auto debug = port.receive(1000ms);
        ASSERT_TRUE(debug);
        EXPECT_EQ((*debug)[0], 0x19);
        EXPECT_TRUE(checksumOk(*debug));
    }
    auto reply = port.receive(1000ms);
    ASSERT_TRUE(reply);
    EXPECT_EQ(u16At(*reply, 0), 0x0190);

    const char text[] = "verbose 0\r";
    auto off = port.transact(telegram(0x0019, Bytes(text, text + 10)));
    ASSERT_TRUE(off);
    EXPECT_EQ(u16At(*off, 0), 0x0099);
    port.send(kGetCameraType);
    auto plain = port.receive(1000ms);
    ASSERT_TRUE(plain);
    EXPECT_EQ(u16At(*plain, 0), 0x0190);  // no debug text any more
}

TEST(CamsimFaults, ReplyFaultsChangeOnlyTheirCommand) {
    CamsimProcess sim({"--fault", "wrong-code:0x0110", "--fault", "bad-checksum:0x0210",
                       "--fault", "error:0x0910:0x80001234", "--fault", "short-body:0x0710",
                       "--fault", "no-reply:0x3216:2", "--fault", "debug-flood:0x0810"});
    PortClient port(sim.portPath());
    auto type = port.transact(kGetCameraType);
    ASSERT_TRUE(type);
    EXPECT_EQ(u16At(*type, 0), 0x0290);
    EXPECT_TRUE(checksumOk(*type));

    auto status = port.transact(telegram(0x0210));
    ASSERT_TRUE(status);
    EXPECT_FALSE(checksumOk(*status));

    auto description = port.transact(telegram(0x0910));
    ASSERT_TRUE(description);
    EXPECT_EQ(u16At(*description, 0), 0x09D0);
    EXPECT_EQ(u32At(*description, 4), 0x80001234u);

    port.send(telegram(0x0710));
    const Bytes partial = port.readFor(200ms);
    ASSERT_GE(partial.size(), 4u);
    EXPECT_LT(partial.size(), size_t(u16At(partial, 2)));

    EXPECT_FALSE(port.transact(telegram(0x3216), 200ms));
    EXPECT_FALSE(port.transact(telegram(0x3216), 200ms));
    auto baud = port.transact(telegram(0x3216));
    ASSERT_TRUE(baud);
    EXPECT_EQ(u32At(*baud, 4), 9600u);

    port.send(telegram(0x0810));
    int debugTelegrams = 0;
    std::optional<Bytes> t;
    while ((t = port.receive(1000ms)) && (*t)[0] == 0x19) ++debugTelegrams;
    EXPECT_EQ(debugTelegrams, 200);
    ASSERT_TRUE(t);
    EXPECT_EQ(u16At(*t, 0), 0x0890);
}

TEST(CamsimLinkSettings, BaudRateIsSetAndReadBack) {
    CamsimProcess sim({"--cl-baud", "115200"});
    PortClient port(sim.portPath());
    auto get = port.transact(telegram(0x3216));
    ASSERT_TRUE(get);
    EXPECT_EQ(get->size(), 9u);
    EXPECT_EQ(u32At(*get, 4), 115200u);
    auto set = port.transact(telegram(0x3316, withU32s({9600})));
    ASSERT_TRUE(set);
    EXPECT_EQ(u16At(*set, 0), 0x3396);
    EXPECT_EQ(u32At(*port.transact(telegram(0x3216)), 4), 9600u);
}

TEST(CamsimPace, RepliesTakeTheTimeOfTheirLineSpeed) {
    // 207 bytes at 9600 baud, ten bits a byte: about 216 ms.
    CamsimProcess sim({"--pace", "9600", "--extra-records", "10"});
    PortClient port(sim.portPath());
    const auto start = std::chrono::steady_clock::now();
    auto reply = port.transact(telegram(0x0810), 2000ms);
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->size(), 207u);
    EXPECT_GE(took, 200ms);
    EXPECT_LT(took, 600ms);
}

TEST(CamsimPace, ACommandIsAnsweredOnlyAfterItsOwnWireTime) {
    // A 268-byte WRITE_BLOCK needs about 279 ms at 9600 baud before the camera has all of it;
    // the pty delivers it at once, so an early reply would show that input is not paced.
    CamsimProcess sim({"--pace", "9600"});
    PortClient port(sim.portPath());
    const Bytes command = telegram(0x1103, Bytes(263, 0x5A));
    ASSERT_EQ(command.size(), 268u);
    const auto start = std::chrono::steady_clock::now();
    auto reply = port.transact(command, 2000ms);
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(reply);
    EXPECT_EQ(u32At(*reply, 4), 0x80001053u);  // no device open: any reply will do
    EXPECT_GE(took, 278ms);
    EXPECT_LT(took, 800ms);
}

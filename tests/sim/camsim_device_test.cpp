// The five devices of the real camsim binary: open rules, erase, NOR writes, reads, the byte-sum
// check and the device faults.

#include <gtest/gtest.h>

#include <thread>

#include "port_client.h"

using namespace simtest;
using namespace std::chrono_literals;

namespace {

constexpr uint32_t kUpBase = 0x80000000;

Bytes blockData(const Bytes& data) {
    Bytes block = data;
    block.resize(256, 0xFF);
    return block;
}

Bytes writeCommand(uint16_t code, uint32_t first, const Bytes& data) {
    Bytes payload = withU32s({first, first + uint32_t(data.size()) - 1});
    const Bytes block = blockData(data);
    payload.insert(payload.end(), block.begin(), block.end());
    return telegram(code, payload);
}

Bytes readCommand(uint16_t code, uint32_t first, uint32_t count) {
    return telegram(code, withU32s({first, first + count - 1}));
}

Bytes dataOf(const Bytes& readReply, size_t count) {
    return Bytes(readReply.begin() + 12, readReply.begin() + 12 + long(count));
}

std::vector<std::string> withShortTimes(std::vector<std::string> args) {
    args.insert(args.end(), {"--erase-time", "20", "--boot-time", "100"});
    return args;
}

// A camsim with a client already connected.
struct Camera {
    explicit Camera(std::vector<std::string> args = {})
        : sim(withShortTimes(std::move(args))), port(sim.portPath()) {}

    // The reply code, or 0 when nothing came.
    uint16_t code(const Bytes& command) {
        last = port.transact(command).value_or(Bytes{});
        return u16At(last, 0) == 0xDEAD ? 0 : u16At(last, 0);
    }
    uint16_t open(int row) {
        static const uint16_t codes[] = {0x7003, 0x7103, 0x7203, 0x7403, 0x7303};
        return code(telegram(codes[row], withU32s({0, 0})));
    }

    CamsimProcess sim;
    PortClient port;
    Bytes last;
};

}  // namespace

TEST(CamsimFlash, EraseWriteReadRoundTripWithNorSemantics) {
    Camera cam;
    ASSERT_EQ(cam.open(0), 0x7083);
    ASSERT_EQ(cam.code(telegram(0x1003, withU32s({0, 0}))), 0x1083);

    const Bytes data = {0x12, 0x34, 0x56, 0x78, 0x9A};
    ASSERT_EQ(cam.code(writeCommand(0x1103, kUpBase + 0x100, data)), 0x1183);
    EXPECT_LE(cam.last.size(), 16u);  // fits the writers' capacity of 15
    ASSERT_EQ(cam.code(readCommand(0x1403, kUpBase + 0x100, 6)), 0x1483);
    ASSERT_EQ(cam.last.size(), 269u);
    EXPECT_EQ(dataOf(cam.last, 6), (Bytes{0x12, 0x34, 0x56, 0x78, 0x9A, 0xFF}));

    // Without an erase a second write can only clear bits.
    ASSERT_EQ(cam.code(writeCommand(0x1103, kUpBase + 0x100, {0xF0, 0x0F})), 0x1183);
    cam.code(readCommand(0x1403, kUpBase + 0x100, 2));
    EXPECT_EQ(dataOf(cam.last, 2), (Bytes{0x10, 0x04}));

    // The last byte of the microcontroller's flash and a full block.
    EXPECT_EQ(cam.code(writeCommand(0x1103, kUpBase + 0xFFFFF, {0x00})), 0x1183);
    EXPECT_EQ(cam.code(writeCommand(0x1103, kUpBase + 0xFFF00, Bytes(256, 0x5A))), 0x1183);

    // Outside the device, below its base, or more than 256 bytes: refused.
    EXPECT_EQ(cam.code(writeCommand(0x1103, kUpBase + 0xFFFFF, {0, 0})), 0x11C3);
    EXPECT_EQ(cam.code(writeCommand(0x1103, 0xF7FE0, {0})), 0x11C3);
    EXPECT_EQ(cam.code(telegram(0x1403, withU32s({kUpBase, kUpBase + 256}))), 0x14C3);
    EXPECT_EQ(cam.code(telegram(0x1403, withU32s({kUpBase + 5, kUpBase + 4}))), 0x14C3);

    // An erase takes its time and then clears everything.
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(cam.code(telegram(0x1003, withU32s({0, 0}))), 0x1083);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 20ms);
    cam.code(readCommand(0x1403, kUpBase + 0x100, 2));
    EXPECT_EQ(dataOf(cam.last, 2), (Bytes{0xFF, 0xFF}));
}

TEST(CamsimFlash, OneDeviceAtATimeAndCommandsNeedAnOpenDevice) {
    Camera cam;
    EXPECT_EQ(cam.code(telegram(0x1003, withU32s({0, 0}))), 0x10C3);
    EXPECT_EQ(u32At(cam.last, 4), 0x80001053u);
    EXPECT_EQ(cam.code(writeCommand(0x1103, 0, {1})), 0x11C3);
    EXPECT_EQ(cam.code(readCommand(0x1403, 0, 1)), 0x14C3);
    ASSERT_EQ(cam.open(1), 0x7183);
    EXPECT_EQ(cam.open(4), 0x73C3);
    EXPECT_EQ(cam.code(telegram(0x0003, withU32s({0, 0}))), 0x0083);
    EXPECT_EQ(cam.open(4), 0x7383);
}

TEST(CamsimFlash, SetChecksumComparesTheCamerasSum) {
    Camera cam;
    cam.open(0);
    cam.code(telegram(0x1003, withU32s({0, 0})));
    cam.code(writeCommand(0x1103, kUpBase, {1, 2, 3, 250}));
    // 1 + 2 + 3 + 250 = 256; the sum is 32 bits wide, not a byte.
    EXPECT_EQ(cam.code(telegram(0x1B03, withU32s({kUpBase, kUpBase + 3, 256}))), 0x1B83);
    EXPECT_EQ(cam.code(telegram(0x1B03, withU32s({kUpBase, kUpBase + 3, 0}))), 0x1BC3);
    EXPECT_EQ(u32At(cam.last, 4), 0x80001060u);
    ASSERT_EQ(cam.code(telegram(0x1C03)), 0x1C83);
    EXPECT_EQ(u32At(cam.last, 4), kUpBase);
    EXPECT_EQ(u32At(cam.last, 8), kUpBase + 3);
    EXPECT_EQ(u32At(cam.last, 12), 0u);
}

TEST(CamsimFlash, EepromAndPllReplaceAndTakeOnlyTheirCommands) {
    Camera cam;
    ASSERT_EQ(cam.open(2), 0x7283);
    EXPECT_EQ(cam.code(writeCommand(0x1103, 0, {1})), 0x11C3);
    ASSERT_EQ(cam.code(writeCommand(0x1703, 0, {0x0F, 0xF0})), 0x1783);
    ASSERT_EQ(cam.code(writeCommand(0x1703, 0, {0xF0, 0x0F})), 0x1783);
    ASSERT_EQ(cam.code(readCommand(0x1603, 0, 2)), 0x1683);
    EXPECT_EQ(dataOf(cam.last, 2), (Bytes{0xF0, 0x0F}));
    EXPECT_EQ(cam.code(readCommand(0x1603, 440, 9)), 0x16C3);  // 448 bytes only
    cam.code(telegram(0x0003, withU32s({0, 0})));

    ASSERT_EQ(cam.open(3), 0x7483);
    EXPECT_EQ(cam.code(writeCommand(0x1703, 0, {1})), 0x17C3);
    ASSERT_EQ(cam.code(writeCommand(0x1103, 0x10, {0x01, 0x02, 0x05, 0x00})), 0x1183);
    ASSERT_EQ(cam.code(writeCommand(0x1103, 0x10, {0x02, 0x02, 0x05, 0x00})), 0x1183);
    ASSERT_EQ(cam.code(readCommand(0x1403, 0x10, 1)), 0x1483);
    EXPECT_EQ(dataOf(cam.last, 1), Bytes{0x02});
    cam.code(telegram(0x0003, withU32s({0, 0})));

    // Both version blocks are no longer erased: the EEPROM's (bytes 0-9) and the PLL's (0x10).
    ASSERT_EQ(cam.code(telegram(0x0810)), 0x0890);
    ASSERT_EQ(u16At(cam.last, 4), 3);  // with the bootloader
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&cam.last[6])), "EEPROM");
    EXPECT_EQ(cam.last[6 + 16], 0xF0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&cam.last[26])), "Main PLL");
    EXPECT_EQ(cam.last[26 + 16], 2);
    EXPECT_EQ(cam.last[26 + 17], 2);
    EXPECT_EQ(u16At(cam.last, 26 + 18), 5);
}

TEST(CamsimFlash, DeviceFaults) {
    Camera cam({"--fault", "write-fail:1:1", "--fault", "readback-mismatch:1", "--fault",
                "erase-fail:4", "--fault", "open-fail:2"});
    EXPECT_EQ(cam.open(2), 0x72C3);
    ASSERT_EQ(cam.open(1), 0x7183);
    EXPECT_EQ(cam.code(writeCommand(0x1103, 0, {0x00})), 0x1183);
    EXPECT_EQ(cam.code(writeCommand(0x1103, 1, {0x00})), 0x11C3);
    EXPECT_EQ(cam.code(writeCommand(0x1103, 2, {0x00})), 0x1183);
    cam.code(readCommand(0x1403, 0, 3));
    EXPECT_EQ(dataOf(cam.last, 3), (Bytes{0x01, 0xFF, 0x00}));  // one bit flipped in the reply
    cam.code(telegram(0x0003, withU32s({0, 0})));
    // The count starts again at the next open.
    cam.open(1);
    EXPECT_EQ(cam.code(writeCommand(0x1103, 3, {0x00})), 0x1183);
    EXPECT_EQ(cam.code(writeCommand(0x1103, 4, {0x00})), 0x11C3);
    cam.code(telegram(0x0003, withU32s({0, 0})));

    cam.open(4);
    EXPECT_EQ(cam.code(writeCommand(0x1103, 0, {0x00})), 0x1183);
    EXPECT_EQ(cam.code(telegram(0x1003, withU32s({0, 0}))), 0x10C3);
    cam.code(readCommand(0x1403, 0, 1));
    EXPECT_EQ(dataOf(cam.last, 1), Bytes{0x00});  // a failed erase changes nothing
}

TEST(CamsimFlash, PowerLossLeavesPartialFlashAndBootMode) {
    Camera cam({"--fault", "power-loss:0:2"});
    cam.open(0);
    cam.code(telegram(0x1003, withU32s({0, 0})));
    EXPECT_EQ(cam.code(writeCommand(0x1103, kUpBase, {0x11})), 0x1183);
    EXPECT_EQ(cam.code(writeCommand(0x1103, kUpBase + 1, {0x22})), 0x1183);
    EXPECT_FALSE(cam.port.transact(writeCommand(0x1103, kUpBase + 2, {0x33}), 50ms));
    std::this_thread::sleep_for(150ms);  // the boot time
    ASSERT_EQ(cam.code(telegram(0x0110)), 0x0190);
    EXPECT_EQ(u16At(cam.last, 4), 0x0800);
    ASSERT_EQ(cam.open(0), 0x7083);
    cam.code(readCommand(0x1403, kUpBase, 3));
    EXPECT_EQ(dataOf(cam.last, 3), (Bytes{0x11, 0x22, 0xFF}));
    // Power fails once; writing goes on normally now.
    EXPECT_EQ(cam.code(writeCommand(0x1103, kUpBase + 2, {0x33})), 0x1183);
}

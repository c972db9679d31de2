// The five devices of camsim: open rules, erase, NOR writes, reads, the byte sum and power loss.

#include <gtest/gtest.h>

#include "port_client.h"

using namespace simtest;
using namespace std::chrono_literals;

namespace {

constexpr uint32_t kUp = 0x80000000;

// The first `count` data bytes of a read reply, read with `code`.
Bytes read(Camera& cam, uint32_t first, uint32_t count, uint16_t code = 0x1403) {
    if (cam.code(twoWords(code, first, first + count - 1)) != uint16_t(code + 0x80)) return {};
    return Bytes(cam.last.begin() + 12, cam.last.begin() + 12 + long(count));
}

struct Device : Camera {
    explicit Device(std::vector<std::string> args = {}) : Camera(shortTimes(args)) {}
    static std::vector<std::string> shortTimes(std::vector<std::string> a) {
        a.insert(a.end(), {"--erase-time", "20", "--boot-time", "100"});
        return a;
    }
    uint16_t open(int row) {
        static const uint16_t codes[] = {0x7003, 0x7103, 0x7203, 0x7403, 0x7303};
        return code(twoWords(codes[row]));
    }
};

}  // namespace

TEST(CamsimFlash, EraseWriteReadWithNorSemanticsBoundsAndTheByteSum) {
    Device cam;
    ASSERT_EQ(cam.open(0), 0x7083);
    ASSERT_EQ(cam.code(twoWords(0x1003)), 0x1083);
    ASSERT_EQ(cam.code(writeBlock(kUp + 0x100, {0x12, 0x34, 0x56, 0x78, 0x9A})), 0x1183);
    EXPECT_LE(cam.last.size(), 16u);  // fits the writers' capacity of 15
    EXPECT_EQ(read(cam, kUp + 0x100, 6), (Bytes{0x12, 0x34, 0x56, 0x78, 0x9A, 0xFF}));
    EXPECT_EQ(cam.last.size(), 269u);
    // Without an erase a second write can only clear bits.
    ASSERT_EQ(cam.code(writeBlock(kUp + 0x100, {0xF0, 0x0F})), 0x1183);
    EXPECT_EQ(read(cam, kUp + 0x100, 2), (Bytes{0x10, 0x04}));

    EXPECT_EQ(cam.code(writeBlock(kUp + 0xFFFFF, {0, 0})), 0x11C3);  // past the end

    // An erase takes its time and then clears everything.
    const auto start = SteadyClock::now();
    ASSERT_EQ(cam.code(twoWords(0x1003)), 0x1083);
    EXPECT_GE(SteadyClock::now() - start, 20ms);
    EXPECT_EQ(read(cam, kUp + 0x100, 2), (Bytes{0xFF, 0xFF}));

    // 1 + 2 + 3 + 250 = 256: the sum is 32 bits wide, not a byte.
    cam.code(writeBlock(kUp, {1, 2, 3, 250}));
    EXPECT_EQ(cam.code(telegram(0x1B03, withU32s({kUp, kUp + 3, 256}))), 0x1B83);
    EXPECT_EQ(cam.code(telegram(0x1B03, withU32s({kUp, kUp + 3, 0}))), 0x1BC3);
    EXPECT_EQ(u32At(cam.last, 4), 0x80001060u);
}

TEST(CamsimFlash, OneDeviceAtATimeAndEachTakesOnlyItsCommands) {
    Device cam;
    EXPECT_EQ(cam.code(twoWords(0x1003)), 0x10C3);
    EXPECT_EQ(u32At(cam.last, 4), 0x80001053u);
    ASSERT_EQ(cam.open(1), 0x7183);
    EXPECT_EQ(cam.open(4), 0x73C3);
    EXPECT_EQ(cam.code(twoWords(0x0003)), 0x0083);

    // The EEPROM replaces its bytes (448 of them); the PLL takes only WRITE_BLOCK.
    ASSERT_EQ(cam.open(2), 0x7283);
    EXPECT_EQ(cam.code(writeBlock(0, {1})), 0x11C3);
    ASSERT_EQ(cam.code(writeBlock(0, {0x0F, 0xF0}, 0x1703)), 0x1783);
    ASSERT_EQ(cam.code(writeBlock(0, {0xF0, 0x0F}, 0x1703)), 0x1783);
    EXPECT_EQ(read(cam, 0, 2, 0x1603), (Bytes{0xF0, 0x0F}));
    cam.code(twoWords(0x0003));
    ASSERT_EQ(cam.open(3), 0x7483);
    EXPECT_EQ(cam.code(writeBlock(0, {1}, 0x1703)), 0x17C3);
}

TEST(CamsimFlash, PowerLossLeavesPartialFlashAndBootMode) {
    Device cam({"--fault", "power-loss:0:2"});
    cam.open(0);
    cam.code(twoWords(0x1003));
    EXPECT_EQ(cam.code(writeBlock(kUp, {0x11})), 0x1183);
    EXPECT_EQ(cam.code(writeBlock(kUp + 1, {0x22})), 0x1183);
    EXPECT_EQ(cam.code(writeBlock(kUp + 2, {0x33}), 50ms), 0);
    std::this_thread::sleep_for(150ms);  // the boot time
    ASSERT_EQ(cam.code(telegram(0x0110)), 0x0190);
    EXPECT_EQ(u16At(cam.last, 4), 0x0800);
    ASSERT_EQ(cam.open(0), 0x7083);
    EXPECT_EQ(read(cam, kUp, 3), (Bytes{0x11, 0x22, 0xFF}));
    // Power fails once; writing goes on normally now.
    EXPECT_EQ(cam.code(writeBlock(kUp + 2, {0x33})), 0x1183);
}

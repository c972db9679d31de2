// The real camsim binary over its pty: identification, records, debug text, the five devices
// (open rules, erase, NOR writes, reads, the byte sum), reboot, the state folder and pacing.
// Its reply faults, power loss and silence after a reboot are driven through the programmer and
// the library elsewhere.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "port_client.h"
#include "tools/temp_folder.h"

using namespace simtest;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

constexpr uint32_t kUp = 0x80000000;
const Bytes kGetCameraType = {0x10, 0x01, 0x05, 0x00, 0x16};

// The first `count` data bytes of a read reply, read with `code`.
Bytes read(Camera& cam, uint32_t first, uint32_t count, uint16_t code = 0x1403) {
    if (cam.code(twoWords(code, first, first + count - 1)) != uint16_t(code + 0x80))
        return {};
    return Bytes(cam.last.begin() + 12, cam.last.begin() + 12 + long(count));
}

}  // namespace

TEST(CamsimIdentification, AnswersAfterTwoDebugTextsUntilVerboseZeroAndRefusesBadCommands) {
    Camera cam({"--serial", "7", "--type", "1300", "--link-word", "1", "--debug-text", "2"});
    // Two debug telegrams precede each reply until "verbose 0".
    cam.port.send(kGetCameraType);
    for (int i = 0; i < 2; ++i) {
        const Bytes debug = cam.port.receive(1000ms).value_or(Bytes{});
        EXPECT_EQ(u16At(debug, 0) & 0xFF, 0x19);
        EXPECT_TRUE(checksumOk(debug));
    }
    EXPECT_EQ(u16At(cam.port.receive(1000ms).value_or(Bytes{}), 0), 0x0190);
    const char text[] = "verbose 0\r";
    EXPECT_EQ(cam.code(telegram(0x0019, Bytes(text, text + 10))), 0x0099);
    cam.port.send(kGetCameraType);  // no debug text any more: the next telegram is the reply
    cam.last = cam.port.receive(1000ms).value_or(Bytes{});
    // Type 0x1300, serial 7, link word 1 at byte 20; 24 bytes fit the callers' capacity of 23
    // plus the checksum.
    EXPECT_EQ(cam.last,
              telegram(0x0190, {0x00, 0x13, 0, 0, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0}));

    cam.code(twoWords(0x0003));
    EXPECT_EQ(cam.last, telegram(0x00C3, withU32s({0x80001053})));
    cam.code(telegram(0x4242));
    EXPECT_EQ(cam.last, telegram(0x42C2, withU32s({0x80001001})));
    Bytes corrupt = kGetCameraType;
    corrupt.back() ^= 0xFF;
    EXPECT_EQ(cam.code(corrupt), 0x01D0);
}

TEST(CamsimRecords, PacedTwelveRecordsComeInTwoPagesAndAnUnpagedCameraGivesDeviceOrder) {
    // Main uP + bootloader + ten extra records = 12: ten on page 0, two on page 1, ten unpaged.
    Camera cam({"--pace", "9600", "--firmware", "0:4:3.02", "--extra-records", "10"});
    // Ten bits a byte at 9600 baud. A 268-byte WRITE_BLOCK needs about 279 ms before the camera
    // has all of it; the pty delivers it at once, so an early reply would show unpaced input.
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
    EXPECT_EQ(u16At(cam.last, 0), 0x0890);
    EXPECT_EQ(cam.last.size(), 207u);

    ASSERT_EQ(cam.code(telegram(0x0D10, {0})), 0x0D90);
    EXPECT_EQ(cam.last.size(), 207u);
    EXPECT_EQ(u16At(cam.last, 4), 12);
    EXPECT_EQ(textAt(cam.last, 6), "Main uP");
    EXPECT_EQ(u16At(cam.last, 6 + 16), 0x0302);  // minor, major
    EXPECT_EQ(u16At(cam.last, 6 + 18), 4);
    ASSERT_EQ(cam.code(telegram(0x0D10, {1})), 0x0D90);
    EXPECT_EQ(cam.last.size(), 6u + 2 * 20 + 1);
    EXPECT_EQ(textAt(cam.last, 26), "Aux 10");

    Camera unpaged({"--type", "0x1310", "--no-paged-firmware", "--firmware", "4:1:1.00",
                    "--firmware", "0:1:1.00", "--bootloader", "2:1.07"});
    unpaged.code(telegram(0x0D10, {0}));
    EXPECT_EQ(u32At(unpaged.last, 4), 0x80001020u);
    ASSERT_EQ(unpaged.code(telegram(0x0810)), 0x0890);
    ASSERT_EQ(u16At(unpaged.last, 4), 3);
    const char* expected[] = {"Main uP", "Head FPGA", "boot.tarun"};
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(textAt(unpaged.last, 6 + i * 20), expected[i]);
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

TEST(CamsimFlash, OneDeviceAtATimeNorSemanticsBoundsTheByteSumAndASilentReboot) {
    Camera cam({"--erase-time", "20", "--boot-time", "300"});
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
    cam.code(twoWords(0x0003));

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

    // A reboot: silent for the boot time, then answering with its devices closed.
    ASSERT_EQ(cam.code(telegram(0x1704)), 0x1784);
    EXPECT_EQ(cam.last.size(), 5u);
    const auto rebooted = SteadyClock::now();
    EXPECT_EQ(cam.code(kGetCameraType, 100ms), 0);  // not heard while booting
    while (cam.last.empty() && SteadyClock::now() - rebooted < 2s)
        cam.code(kGetCameraType, 50ms);
    ASSERT_EQ(u16At(cam.last, 0), 0x0190);
    EXPECT_GE(SteadyClock::now() - rebooted, 250ms);
    EXPECT_EQ(cam.code(twoWords(0x0003)), 0x00C3);
    EXPECT_EQ(u32At(cam.last, 4), 0x80001053u);

    // A client that goes without reading its reply leaves nothing for the next one.
    cam.port.send(telegram(0x0910));
    std::this_thread::sleep_for(50ms);
    cam.port.reopen(cam.sim.portPath());
    EXPECT_EQ(cam.code(kGetCameraType), 0x0190);
}

TEST(CamsimState, ContentsAreSavedBeforeARebootSurviveARestartAndBadFilesAreRefused) {
    tools::TempFolder dir;
    {
        Camera cam({"--state", dir.path(), "--erase-time", "10", "--boot-time", "50"});
        ASSERT_EQ(cam.code(twoWords(0x7003)), 0x7083);
        ASSERT_EQ(cam.code(writeBlock(0x80000000, {0x02})), 0x1183);
        ASSERT_EQ(cam.code(telegram(0x1704)), 0x1784);
        EXPECT_EQ(std::ifstream(dir.path("main_up.bin"), std::ios::binary).get(), 0x02);
        std::this_thread::sleep_for(100ms);
        ASSERT_EQ(cam.code(twoWords(0x7103)), 0x7183);
        ASSERT_EQ(cam.code(twoWords(0x1003)), 0x1083);
        // A version block in the Main FPGA's first bytes: variant 9, V02.05.
        ASSERT_EQ(cam.code(writeBlock(0, {0x05, 0x02, 0x09, 0x00})), 0x1183);
        EXPECT_EQ(cam.sim.closeStdinAndWait(2s), 0);
    }
    EXPECT_EQ(fs::file_size(dir.path("main_fpga.bin")), 4u << 20);
    {
        Camera cam({"--state", dir.path()});
        ASSERT_EQ(cam.code(telegram(0x0810)), 0x0890);
        ASSERT_GE(u16At(cam.last, 4), 1);
        EXPECT_EQ(textAt(cam.last, 6), "Main FPGA");
        EXPECT_EQ(u16At(cam.last, 6 + 18), 9);
    }
    // A state file of the wrong size stops camsim and stays as it was.
    std::ofstream(dir.path("eeprom.bin"), std::ios::binary) << "short";
    tools::CamsimProcess refused;
    EXPECT_FALSE(refused.start(KF_BINARY_DIR "/bin/camsim", {"--state", dir.path()}));
    EXPECT_EQ(refused.waitForExit(2s), 1);
    EXPECT_EQ(fs::file_size(dir.path("eeprom.bin")), 5u);
}

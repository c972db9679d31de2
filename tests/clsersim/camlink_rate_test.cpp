// camsim's Camera Link side through libclsersim: the baud rate that both ends must share, the
// order of SET_CL_BAUDRATE, pacing at the rate in force, and the configuration commands.

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "../sim/port_client.h"
#include "grabber.h"

using namespace cltest;
using namespace std::chrono_literals;

namespace {

const Bytes kGetCameraType = telegram(0x0110);
const Bytes kGetClBaudrate = telegram(0x3216);

uint32_t bitOf(uint32_t rate) {
    const uint32_t rates[] = {9600, 19200, 38400, 57600, 115200};
    for (uint32_t i = 0; i < 5; ++i)
        if (rates[i] == rate)
            return 1u << i;
    return 0;
}

}  // namespace

TEST(CamLinkRate, SetClBaudrateAnswersAtTheOldRateAndLastsUntilARebootOrAPowerLossOnEitherLine) {
    Link link({"--boot-time", "100", "--no-output-format", "--fault", "power-loss:1:0"});
    ASSERT_EQ(link.rc, 0);
    // A camera without output formats refuses both of their commands with 0x80001020.
    for (const Bytes& command :
         {telegram(0x1116, {2, 0}), telegram(0x1016, {2, 0, 0, 2, 0, 0, 0, 0})}) {
        link.code(command);
        EXPECT_EQ(link.last, telegram(u16At(command, 0) | 0xC0, u32Bytes(0x80001020)));
    }
    EXPECT_EQ(link.code(telegram(0x3416)), 0x3496);  // the configuration is there
    EXPECT_EQ(link.code(telegram(0x3316, u32Bytes(12345))), 0x33D6);
    EXPECT_EQ(u32At(link.last, 4), 0x80001004u);                      // not a rate the camera has
    ASSERT_EQ(link.code(telegram(0x3316, u32Bytes(38400))), 0x3396);  // heard at 9600
    EXPECT_EQ(u32At(link.last, 4), 38400u);
    EXPECT_EQ(link.code(kGetClBaudrate), 0);  // the camera has left 9600
    ASSERT_EQ(link.grabber.setBaudRate(link.ref, bitOf(38400)), 0);
    ASSERT_EQ(link.code(kGetClBaudrate), 0x3296);
    EXPECT_EQ(u32At(link.last, 4), 38400u);

    // A reboot brings the line back to the start rate, after the reply at 38400.
    ASSERT_EQ(link.code(telegram(0x1704)), 0x1784);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(link.code(kGetClBaudrate), 0);
    ASSERT_EQ(link.grabber.setBaudRate(link.ref, bitOf(9600)), 0);
    ASSERT_EQ(link.code(kGetClBaudrate), 0x3296);
    EXPECT_EQ(u32At(link.last, 4), 9600u);

    // The pty reaches the same camera: its rate and its open device.
    simtest::PortClient pty(link.cam.sim.portPath());
    ASSERT_EQ(u16At(pty.transact(telegram(0x3316, u32Bytes(19200))).value_or(Bytes{}), 0), 0x3396);
    EXPECT_EQ(link.code(kGetClBaudrate), 0);
    ASSERT_EQ(link.grabber.setBaudRate(link.ref, bitOf(19200)), 0);
    const Bytes openMainFpga = telegram(0x7103, Bytes(8, 0));
    ASSERT_EQ(link.code(openMainFpga), 0x7183);
    EXPECT_EQ(pty.transact(openMainFpga).value_or(Bytes{}),
              telegram(0x71C3, u32Bytes(0x80001055)));  // already open, through the other line
    // The first block write to the Main FPGA is lost with the power; the camera comes back in
    // boot mode at its start rate.
    EXPECT_EQ(link.code(simtest::writeBlock(0, Bytes(256, 0x00))), 0);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(link.code(kGetCameraType), 0);
    ASSERT_EQ(link.grabber.setBaudRate(link.ref, bitOf(9600)), 0);
    ASSERT_EQ(link.code(kGetCameraType), 0x0190);
    EXPECT_EQ(u16At(link.last, 4), 0x0800);
}

TEST(CamLinkRate, PacedLineTimeFollowsTheRateInForceAndASwitchDuringAReplyGarblesIt) {
    Link link({"--pace", "9600", "--extra-records", "10"});
    ASSERT_EQ(link.rc, 0);
    const auto sent = SteadyClock::now();
    ASSERT_EQ(link.grabber.send(link.ref, telegram(0x0810)), 0);
    std::this_thread::sleep_for(50ms);  // heard; the 207-byte reply takes about 216 ms
    ASSERT_EQ(link.grabber.setBaudRate(link.ref, bitOf(19200)), 0);
    const auto switchedMs = (SteadyClock::now() - sent) / 1ms;
    int32_t rc = 0;
    const Bytes heard = link.grabber.receive(link.ref, 207, 600, rc);
    EXPECT_EQ(rc, 0);
    ASSERT_EQ(heard.size(), 207u);

    // GET_FIRMWARE_VERSIONS: 5 bytes out, 207 back, ten bits a byte: about 221 ms at 9600 and
    // 18 ms at 115200, whatever --pace says for the pty.
    ASSERT_EQ(link.grabber.setBaudRate(link.ref, bitOf(9600)), 0);
    const auto took = [&]() {
        const auto start = SteadyClock::now();
        EXPECT_EQ(link.code(telegram(0x0810), 1000), 0x0890);
        return SteadyClock::now() - start;
    };
    const auto slow = took();
    EXPECT_GE(slow, 215ms);
    EXPECT_LT(slow, 500ms);

    // What came before the switch is the reply as sent, the rest all garbage. No more than the
    // line carried by then can be clean, however late the switch came on a loaded machine.
    ASSERT_EQ(link.last.size(), 207u);
    const size_t clean = size_t(
        std::mismatch(heard.begin(), heard.end(), link.last.begin()).first - heard.begin());
    EXPECT_LE(clean, size_t(switchedMs) * 9600 / 10000 + 2);
    EXPECT_LT(clean, 207u);
    EXPECT_TRUE(std::all_of(heard.begin() + long(clean), heard.end(), [](uint8_t b) {
        return b >= 0x80;
    })) << clean << " clean bytes";

    ASSERT_EQ(link.code(telegram(0x3316, u32Bytes(115200))), 0x3396);
    ASSERT_EQ(link.grabber.setBaudRate(link.ref, bitOf(115200)), 0);
    const auto fast = took();
    EXPECT_GE(fast, 17ms);
    EXPECT_LT(fast, 100ms);
}

TEST(CamLinkSettings, ConfigurationAndOutputFormatRoundTripAndOtherCommandsAnswer) {
    Link link;
    ASSERT_EQ(link.rc, 0);
    Bytes config = u32Bytes(40000000);
    config.insert(config.end(), {0x12, 0x01, 0x03});
    const struct {
        Bytes command;
        uint16_t code;
        size_t size;
    } rows[] = {
        {telegram(0x0111), 0x0191, 153},
        {telegram(0x0A14), 0x0A94, 5},
        {telegram(0x3516, config), 0x3596, 12},
        {telegram(0x3416), 0x3496, 12},
        {telegram(0x1016, {2, 0, 0x00, 0x02, 0, 0, 0, 0}), 0x1096, 13},
        {telegram(0x1116, {2, 0}), 0x1196, 13},
        {telegram(0x3516, {1, 2, 3}), 0x35D6, 9},  // too short: 0x80001003
        {telegram(0x1016, {2, 0}), 0x10D6, 9},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(u16At(row.command, 0));
        EXPECT_EQ(link.code(row.command), row.code);
        EXPECT_EQ(link.last.size(), row.size);
    }
    ASSERT_EQ(link.code(telegram(0x3416)), 0x3496);
    EXPECT_EQ(Bytes(link.last.begin() + 4, link.last.end() - 1), config);
    ASSERT_EQ(link.code(telegram(0x1116, {2, 0})), 0x1196);
    EXPECT_EQ(u16At(link.last, 6), 0x0200);
    EXPECT_EQ(u16At(link.last, 8), 0x0102);
    link.code(telegram(0x1016, {2, 0}));
    EXPECT_EQ(link.last, telegram(0x10D6, u32Bytes(0x80001003)));
}

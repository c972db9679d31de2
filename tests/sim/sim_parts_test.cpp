// The pieces of camsim that decide on input: telegram reassembly, option and fault parsing.

#include <gtest/gtest.h>

#include "sim/faults.h"
#include "sim/options.h"
#include "sim/telegram_reader.h"

using namespace std::chrono_literals;
using sim::Bytes;

TEST(TelegramReader, ReassemblesSplitTelegramsSkipsGarbageAndGivesUpStalePartials) {
    const Bytes getCameraType = {0x10, 0x01, 0x05, 0x00, 0x16};
    sim::TelegramReader reader;
    const auto t0 = sim::TelegramReader::Clock::now();
    // A stray byte (its length field would read 0x0501) and a telegram in pieces.
    reader.feed(Bytes{0xFF}.data(), 1, t0);
    reader.feed(getCameraType.data(), 2, t0);
    EXPECT_FALSE(reader.next(t0));
    reader.feed(getCameraType.data() + 2, 3, t0);
    auto t = reader.next(t0);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->bytes, getCameraType);
    EXPECT_TRUE(t->checksumOk);
    const Bytes bad = {0x10, 0x01, 0x05, 0x00, 0x00};
    reader.feed(bad.data(), bad.size(), t0);
    EXPECT_FALSE(reader.next(t0).value().checksumOk);

    const Bytes partial = {0x03, 0x11, 0x0D, 0x01, 0x00};  // announces 269 bytes, sends five
    reader.feed(partial.data(), partial.size(), t0);
    EXPECT_FALSE(reader.next(t0 + 10ms));
    ASSERT_TRUE(reader.staleDeadline());
    const auto later = *reader.staleDeadline();
    reader.feed(getCameraType.data(), getCameraType.size(), later);
    // New bytes refresh the partial; once it is stale, the scan finds the command.
    EXPECT_FALSE(reader.next(later));
    t = reader.next(later + sim::TelegramReader::kStaleGap);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->bytes, getCameraType);
}

TEST(OptionsAndFaults, DecimalVersionsAndRefusals) {
    sim::SimOptions o;
    std::string error;
    ASSERT_TRUE(sim::parseOptions({"--bootloader=3:2.08", "--firmware", "3:12:1.09"}, o, error));
    EXPECT_EQ(o.bootloaderMinor, 8);  // decimal, not octal
    ASSERT_EQ(o.firmware.size(), 1u);
    EXPECT_EQ(o.firmware[0].minor, 9);

    sim::SimOptions refused;
    EXPECT_FALSE(sim::parseOptions({"--bootloader", "1:1.256"}, refused, error));
    EXPECT_FALSE(error.empty());
    for (const char* port : {"65536", "-1", "x"}) {
        EXPECT_FALSE(sim::parseOptions({"--camlink-port", port}, refused, error)) << port;
        EXPECT_EQ(error, "bad or missing value for --camlink-port (see --help)");
    }
    ASSERT_TRUE(sim::parseOptions({"--camlink-port=0", "--no-output-format"}, o, error));
    EXPECT_EQ(o.camlinkPort, 0);
    EXPECT_FALSE(o.outputFormat);
    sim::Faults faults;
    error.clear();
    EXPECT_FALSE(sim::addFault("no-reply:0x10000", faults, error));
    EXPECT_FALSE(error.empty());
}

TEST(OptionsAndFaults, ReplyAndDeviceFaultDescriptions) {
    const struct {
        const char* description;
        bool accepted;
    } rows[] = {
        {"short-reply:0110", true},   {"short-reply:0110:1", true}, {"short-reply:0110:x", false},
        {"wrong-echo:1403", true},    {"wrong-echo", false},        {"close-fail:4", true},
        {"close-fail:5", false},      {"silent:1:2", true},         {"silent:1", false},
        {"boot-mode-after-reboot", true}, {"boot-mode-after-reboot:1", false},
    };
    sim::Faults faults;
    for (const auto& row : rows) {
        std::string error;
        EXPECT_EQ(sim::addFault(row.description, faults, error), row.accepted) << row.description;
        EXPECT_EQ(error.empty(), row.accepted) << row.description;
    }
    EXPECT_EQ(faults.shortReply.at(0x0110), 1);
    EXPECT_TRUE(faults.closeFail[4] && faults.bootModeAfterReboot);
    EXPECT_EQ(faults.silentAfter.at(1), 2);
}

// The pieces of camsim that decide on input and output: telegram reassembly, option and fault
// parsing, and line pacing on its own clock (when the bytes of a reply are handed over, when a
// command counts as arrived, and the line's self check).

#include <gtest/gtest.h>

#include <functional>

#include "sim/faults.h"
#include "sim/options.h"
#include "sim/output_queue.h"
#include "sim/telegram_reader.h"

using namespace std::chrono_literals;
using sim::Bytes;
using sim::OutputQueue;
using Time = OutputQueue::Clock::time_point;

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

TEST(OptionsAndFaults, EachOptionActsInTheOrderGivenAndBothValueFormsWork) {
    struct Case {
        std::vector<std::string> args;
        std::function<bool(const sim::SimOptions&)> holds;
    };
    const Case cases[] = {
        {{}, [](auto& o) { return o.hardware.size() == 1 && o.hardware[0].name == "KM4MAIN"; }},
        {{"--bootloader=3:2.08", "--firmware", "3:12:1.09"},  // decimal, not octal
         [](auto& o) {
             return o.bootloaderMinor == 8 && o.firmware.size() == 1 && o.firmware[0].minor == 9;
         }},
        {{"--camlink-port=0", "--no-output-format"},
         [](auto& o) { return o.camlinkPort == 0 && !o.outputFormat; }},
        {{"--no-bootloader", "--bootloader", "2:1.07"},
         [](auto& o) { return o.bootloader && o.bootloaderVariant == 2; }},
        {{"--bootloader", "2:1.07", "--no-bootloader"}, [](auto& o) { return !o.bootloader; }},
        {{"--serial", "5", "--serial=0x10"}, [](auto& o) { return o.serial == 16; }},
        {{"--type", "1300"}, [](auto& o) { return o.cameraType == 0x1300; }},
        {{"--type=0X0800"}, [](auto& o) { return o.cameraType == 0x0800; }},
        {{"--hardware", "A:1:2", "--hardware=B:3:0x4"},
         [](auto& o) {
             return o.hardware.size() == 2 && o.hardware[0].name == "A" &&
                    o.hardware[1].codeB == 4;
         }},
        {{"--link", "/tmp/x", "--state=/tmp/s", "--ignore-stdin", "--pace", "115200"},
         [](auto& o) {
             return o.linkPath == "/tmp/x" && o.stateDir == "/tmp/s" && !o.watchStdin &&
                    o.paceBaud == 115200;
         }},
        {{"--boot-mode", "--no-paged-firmware", "--extra-records", "12", "--debug-text", "3"},
         [](auto& o) {
             return o.bootMode && !o.pagedFirmware && o.extraRecords == 12 && o.debugText == 3;
         }},
        {{"-h"}, [](auto& o) { return o.help; }},
        {{"--version"}, [](auto& o) { return o.version && !o.help; }},
    };
    for (const Case& c : cases) {
        sim::SimOptions o;
        std::string error;
        EXPECT_TRUE(sim::parseOptions(c.args, o, error)) << error;
        EXPECT_TRUE(c.holds(o)) << ::testing::PrintToString(c.args);
    }
}

TEST(OptionsAndFaults, RefusalsNameTheOption) {
    std::vector<std::string> elevenBoards;
    for (int i = 0; i < 11; ++i) elevenBoards.insert(elevenBoards.end(), {"--hardware", "B:1:1"});
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--hardware", "NAME_OF_EIGHTEEN_C:1:2"},
         "bad or missing value for --hardware (see --help)"},
        {{"--firmware", "5:1:1.00"}, "bad or missing value for --firmware (see --help)"},
        {{"--bootloader", "1:1.256"}, "bad or missing value for --bootloader (see --help)"},
        {{"--camlink-port", "65536"}, "bad or missing value for --camlink-port (see --help)"},
        {{"--camlink-port", "-1"}, "bad or missing value for --camlink-port (see --help)"},
        {{"--camlink-port", "x"}, "bad or missing value for --camlink-port (see --help)"},
        {{"--link="}, "--link: 1 required PATH missing (see --help)"},
        {{"--boot-time", "600001"}, "bad or missing value for --boot-time (see --help)"},
        {{"--boot-time"}, "--boot-time: 1 required MS missing (see --help)"},
        {{"--fault", "no-reply:0x10000"}, "bad fault description 'no-reply:0x10000' (see --help)"},
        {{"stray"}, "The following argument was not expected: stray (see --help)"},
        {elevenBoards, "at most 10 --hardware records fit a reply"},
    };
    for (const auto& [args, message] : cases) {
        sim::SimOptions o;
        std::string error;
        EXPECT_FALSE(sim::parseOptions(args, o, error)) << args[0];
        EXPECT_EQ(error, message);
    }
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

namespace {

std::chrono::nanoseconds byteTime(uint32_t baud) { return 10'000'000'000ns / baud; }

// Hands over what is due at every moment the queue names, `late` after it; returns the time of
// the last hand-over and the sizes handed over.
Time drain(OutputQueue& queue, Time now, std::chrono::nanoseconds late, std::vector<size_t>& sizes) {
    while (auto due = queue.nextDue(now)) {
        now = *due + late;
        const size_t n = queue.due(now);
        queue.consume(n, now);
        sizes.push_back(n);
    }
    return now;
}

}  // namespace

TEST(LinePacing, TheLastByteOfEachReplyLeavesAtTheEndOfItsWireTimeAndTheCheckSeesLateness) {
    const Time t0{1s};
    struct Case {
        const char* name;
        uint32_t baud;
        size_t bytes;
        std::chrono::nanoseconds wokeLate;   // camsim got to the reply this long after its start
        std::chrono::nanoseconds handedLate; // and handed each burst over this long after due
        std::vector<size_t> sizes;
    } cases[] = {
        {"block write's reply: one tail", 57600, 13, 0ns, 0ns, {13}},
        {"block read's reply: 16-byte bursts and a tail", 57600, 269, 0ns, 0ns,
         {16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 13}},
        {"a late start is made up in the first burst", 57600, 40, 3ms, 0ns, {17, 16, 7}},
        {"late hand-overs", 57600, 20, 0ns, 50us, {16, 4}},
        {"Camera Link rate", 115200, 20, 0ns, 0ns, {16, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OutputQueue queue(c.baud);
        queue.push(Bytes(c.bytes, 0x33), t0);  // the command's last byte came in at t0
        std::vector<size_t> sizes;
        const auto wire = byteTime(c.baud) * long(c.bytes);
        EXPECT_EQ(drain(queue, t0 + c.wokeLate, c.handedLate, sizes), t0 + wire + c.handedLate);
        EXPECT_EQ(sizes, c.sizes);
        EXPECT_EQ(queue.check().bytes, c.bytes);
        EXPECT_EQ(queue.check().wire, wire);
        EXPECT_EQ(queue.check().taken, wire + c.handedLate);
    }
    // A reply made while the line is still busy follows it without a gap or an overlap.
    OutputQueue queue(57600);
    queue.push(Bytes(20, 1), t0);
    queue.push(Bytes(20, 2), t0 + 1ns);
    std::vector<size_t> sizes;
    EXPECT_EQ(drain(queue, t0, 0ns, sizes), t0 + byteTime(57600) * 40);
}

TEST(LinePacing, ACommandArrivesAfterTheWireTimeOfItsBytesCountedFromTheFirst) {
    const auto bt = byteTime(57600);
    const Time t0{1s};
    sim::TelegramReader reader(57600);
    const Bytes readBlock = {0x03, 0x14, 13, 0, 0, 1, 0, 0, 0xFF, 1, 0, 0, 0x27};
    Bytes two = readBlock;
    two.insert(two.end(), readBlock.begin(), readBlock.end());
    reader.feed(two.data(), two.size(), t0);  // a pty hands both over at once
    EXPECT_FALSE(reader.next(t0 + bt * 13 - 1ns));
    EXPECT_EQ(reader.arrivalDue(), t0 + bt * 13);
    auto first = reader.next(t0 + bt * 13 + 2ms);  // camsim woke late: the arrival stays
    ASSERT_TRUE(first);
    EXPECT_EQ(first->arrived, t0 + bt * 13);
    EXPECT_FALSE(reader.next(t0 + bt * 26 - 1ns));
    auto second = reader.next(t0 + bt * 26);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->arrived, t0 + bt * 26);
}

// The pieces of camsim that decide on input: telegram reassembly, option and fault parsing,
// the pacing of output.

#include <gtest/gtest.h>

#include "sim/faults.h"
#include "sim/options.h"
#include "sim/output_queue.h"
#include "sim/telegram_reader.h"

using namespace std::chrono_literals;
using sim::Bytes;

namespace {
const Bytes kGetCameraType = {0x10, 0x01, 0x05, 0x00, 0x16};
constexpr auto kByteAt9600 = 1041666ns;
}

TEST(TelegramReader, ReassemblesSplitTelegramsSkipsGarbageAndGivesUpStalePartials) {
    sim::TelegramReader reader;
    const auto t0 = sim::TelegramReader::Clock::now();
    // A stray byte (read with the telegram's bytes its length field is 0x0501, impossible)
    // and a telegram in pieces.
    reader.feed(Bytes{0xFF}.data(), 1, t0);
    reader.feed(kGetCameraType.data(), 2, t0);
    EXPECT_FALSE(reader.next(t0));
    reader.feed(kGetCameraType.data() + 2, 3, t0);
    auto t = reader.next(t0);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->bytes, kGetCameraType);
    EXPECT_TRUE(t->checksumOk);
    EXPECT_TRUE(reader.empty());
    const Bytes bad = {0x10, 0x01, 0x05, 0x00, 0x00};
    reader.feed(bad.data(), bad.size(), t0);
    EXPECT_FALSE(reader.next(t0).value().checksumOk);

    const Bytes partial = {0x03, 0x11, 0x0D, 0x01, 0x00};  // announces 269 bytes, sends five
    reader.feed(partial.data(), partial.size(), t0);
    EXPECT_FALSE(reader.next(t0 + 10ms));
    ASSERT_TRUE(reader.staleDeadline());
    const auto later = *reader.staleDeadline();
    reader.feed(kGetCameraType.data(), kGetCameraType.size(), later);
    // The new bytes refresh the partial telegram; once that is stale, the scan finds the command.
    EXPECT_FALSE(reader.next(later));
    t = reader.next(later + sim::TelegramReader::kStaleGap);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->bytes, kGetCameraType);
}

TEST(TelegramReader, PacedReleasesATelegramOnlyOnceItsBytesWouldHaveArrived) {
    sim::TelegramReader reader(9600);  // five bytes: about 5.2 ms
    const auto t0 = sim::TelegramReader::Clock::now();
    Bytes two = kGetCameraType;
    two.insert(two.end(), kGetCameraType.begin(), kGetCameraType.end());
    reader.feed(two.data(), two.size(), t0);
    EXPECT_EQ(reader.arrivalDue(), t0 + 5 * kByteAt9600);
    EXPECT_FALSE(reader.next(t0 + 5ms));
    EXPECT_TRUE(reader.next(t0 + 6ms));
    // The second telegram queued behind the first on the line: it ends after both.
    EXPECT_FALSE(reader.next(t0 + 10ms));
    EXPECT_TRUE(reader.next(t0 + 11ms));
    EXPECT_FALSE(reader.arrivalDue());
    // A dropped stray byte took its time on the line as well.
    reader.feed(Bytes{0xFF}.data(), 1, t0 + 20ms);
    reader.feed(kGetCameraType.data(), kGetCameraType.size(), t0 + 20ms);
    EXPECT_FALSE(reader.next(t0 + 25ms));
    EXPECT_TRUE(reader.next(t0 + 27ms));
}

TEST(OptionsAndFaults, DecimalVersionsAndRefusals) {
    sim::SimOptions o;
    std::string error;
    ASSERT_TRUE(sim::parseOptions({"--bootloader=3:2.08", "--firmware", "3:12:1.09"}, o, error));
    EXPECT_EQ(o.bootloaderMinor, 8);  // decimal, not octal
    ASSERT_EQ(o.firmware.size(), 1u);
    EXPECT_EQ(o.firmware[0].minor, 9);

    for (std::vector<std::string> bad :
         {std::vector<std::string>{"--firmware", "5:1:1.00"}, {"--firmware", "0:1:1"},
          {"--bootloader", "1:1.256"}, {"--hardware", "ANAMEFARTOOLONGFORIT:1:2"},
          {"--serial"}, {"--pace", "-5"}, {"--description", std::string(40, 'x')},
          {"--unknown"}, {"--fault", "nonsense"}}) {
        sim::SimOptions q;
        error.clear();
        EXPECT_FALSE(sim::parseOptions(bad, q, error)) << bad[0];
        EXPECT_FALSE(error.empty());
    }
    sim::Faults faults;
    for (const char* bad : {"", "no-reply", "no-reply:0x10000", "no-reply:0x0110:x",
                            "write-fail:5:1", "write-fail:1", "error:0x0110", "open-fail:-1",
                            "readback-mismatch:1:2", "no-answer-after-reboot:1", "bogus:1"}) {
        error.clear();
        EXPECT_FALSE(sim::addFault(bad, faults, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST(OutputQueue, PacesBytesLikeASerialLineInFifoBursts) {
    sim::OutputQueue queue(9600);
    const auto t0 = sim::OutputQueue::Clock::now();
    queue.push(Bytes(20, 0x55), t0);
    // Nothing until a whole burst has been received, then what is complete.
    EXPECT_EQ(queue.due(t0 + 16ms), 0u);  // 15.36 bytes' time
    EXPECT_EQ(queue.nextDue(t0), t0 + 16 * kByteAt9600);
    EXPECT_EQ(queue.due(t0 + 17ms), 16u);
    queue.consume(16);
    // The tail of four bytes goes as soon as its last byte is complete, not a burst later.
    EXPECT_EQ(queue.nextDue(t0 + 17ms), t0 + 20 * kByteAt9600);
    EXPECT_EQ(queue.due(t0 + 20ms), 0u);
    EXPECT_EQ(queue.due(t0 + 21ms), 4u);
    queue.consume(4);
    EXPECT_TRUE(queue.empty());
    // An idle line starts anew when the next reply comes, not in the past.
    queue.push(Bytes(1, 0x55), t0 + 100ms);
    EXPECT_EQ(queue.due(t0 + 101ms), 0u);
    EXPECT_EQ(queue.due(t0 + 102ms), 1u);

    sim::OutputQueue unpaced(0);
    unpaced.push(Bytes(100, 0x55), t0);
    EXPECT_EQ(unpaced.due(t0), 100u);
    EXPECT_FALSE(unpaced.nextDue(t0));
}

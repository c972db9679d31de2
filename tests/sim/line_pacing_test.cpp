// camsim's line pacing on its own clock: when the bytes of a reply are handed over, when a
// command counts as arrived, and the line's self check.

#include <gtest/gtest.h>

#include "sim/output_queue.h"
#include "sim/telegram_reader.h"

using namespace std::chrono_literals;
using sim::Bytes;
using sim::OutputQueue;
using Time = OutputQueue::Clock::time_point;

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

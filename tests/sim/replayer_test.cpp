// camsim's replay, telegram by telegram: recorded replies with their delays (or at once), silence
// where the recording timed out, the first request that differs named with both telegrams and
// nothing answered after it, the texts below the recording's seam, and the exit status.

#include <gtest/gtest.h>

#include "protocol/recording/recording_file.h"
#include "protocol/telegram.h"
#include "sim/camlink_settings.h"
#include "sim/replayer.h"
#include "sim/reply_builder.h"

using namespace std::chrono_literals;

namespace {

const std::string kHeader =
    "{\"ev\":\"header\",\"ms\":0,\"program\":\"kelvoflash-cli\",\"version\":\"1.11\","
    "\"interface\":\"camlink\",\"port\":0,\"grabber\":\"clsersim\",\"rates\":[9600],"
    "\"start\":\"2026-12-09T22:00:00Z\"}\n";

// GET_CAMERA_TYPE, WRITE_BLOCK at 0x100 and 0x200 (4 bytes each), READ_BLOCK, GET_CL_BAUDRATE.
const sim::Bytes kType = sim::makeTelegram(0x0110, {});
sim::Bytes block(uint16_t code, uint8_t page) {
    return sim::makeTelegram(code, {0x00, page, 0, 0, 0x03, page, 0, 0, 1, 2, 3, 4});
}
const sim::Bytes kBaud = sim::makeTelegram(0x3216, {});

std::string hex(const sim::Bytes& bytes) {
    std::string text;
    char digits[3];
    for (uint8_t b : bytes) {
        std::snprintf(digits, sizeof digits, "%02x", b);
        text += digits;
    }
    return text;
}

std::string tx(uint64_t ms, const sim::Bytes& bytes) {
    return "{\"ev\":\"tx\",\"ms\":" + std::to_string(ms) + ",\"bytes\":\"" + hex(bytes) + "\"}\n";
}
std::string rx(uint64_t ms, uint32_t result, const std::string& bytes) {
    return "{\"ev\":\"rx\",\"ms\":" + std::to_string(ms) + ",\"result\":" + std::to_string(result) +
           ",\"bytes\":\"" + bytes + "\"}\n";
}

sim::Replayer replayer(const std::string& text, bool fast = false) {
    recording::Recording recording;
    std::string error;
    EXPECT_TRUE(recording::parseRecording(text, recording, error)) << error;
    return sim::Replayer(std::move(recording), sim::SimOptions{}, fast);
}

}  // namespace

TEST(Replayer, AnswersAsRecordedThenDivergesOnceAndStaysSilent) {
    const std::string text = kHeader + "{\"ev\":\"open\",\"ms\":1,\"port\":0}\n" +
                             tx(10, kType) + rx(14, 0, "90010c00040000") +  // cut to 7 bytes
                             tx(20, block(0x1103, 1)) + "{\"ev\":\"timeout\",\"ms\":520,\"result\":2150834183}\n" +
                             tx(600, block(0x1103, 2)) + rx(601, 0x800B2008, "") +
                             tx(700, block(0x1403, 1)) + rx(702, 0, "83110f00");
    sim::Replayer replay = replayer(text);
    // The reply as the caller got it, filled up to its length field, with a right checksum.
    sim::Reaction r = replay.handle(kType);
    ASSERT_EQ(r.bytes.size(), 12u);
    EXPECT_EQ(sim::Bytes(r.bytes.begin(), r.bytes.begin() + 11),
              (sim::Bytes{0x90, 0x01, 0x0C, 0x00, 0x04, 0x00, 0x00, 0, 0, 0, 0}));
    EXPECT_EQ(r.bytes[11], protocol::checksumOf(r.bytes.data(), 11));
    EXPECT_EQ(r.workTime, 4ms);
    // A time-out: silence. A checksum failure: a reply whose checksum is wrong.
    EXPECT_TRUE(replay.handle(block(0x1103, 1)).bytes.empty());
    r = replay.handle(block(0x1103, 2));
    ASSERT_EQ(r.bytes.size(), 5u);
    EXPECT_NE(r.bytes[4], protocol::checksumOf(r.bytes.data(), 4));
    EXPECT_FALSE(replay.finished());

    // Another block than recorded: named with both, and nothing answered any more.
    testing::internal::CaptureStderr();
    EXPECT_TRUE(replay.handle(block(0x1403, 2)).bytes.empty());
    EXPECT_TRUE(replay.handle(block(0x1403, 1)).bytes.empty());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "camsim: replay diverged at event 8 (line 9): expected READ_BLOCK address "
              "0x00000100 length 4, received READ_BLOCK address 0x00000200 length 4\n");
    EXPECT_TRUE(replay.diverged());
    EXPECT_EQ(replay.finish(), sim::Replayer::kDiverged);
}

TEST(Replayer, EndsWhenEveryTelegramWasPlayedAndSaysSoOtherwise) {
    const std::string text = kHeader + tx(10, kType) + rx(30, 0, "900105") + tx(40, kBaud) +
                             rx(41, 0, "96320900") + "{\"ev\":\"close\",\"ms\":50}\n";
    const struct {
        size_t played;
        bool fast;
        int status;
        const char* said;
    } cases[] = {
        {0, false, sim::Replayer::kUnfinished,
         "camsim: replay stopped before its end: 0 of 2 telegrams played\n"},
        {1, false, sim::Replayer::kUnfinished,
         "camsim: replay stopped before its end: 1 of 2 telegrams played\n"},
        {2, true, 0, "camsim: replay ran to its end: 2 telegrams answered as recorded\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.played);
        sim::Replayer replay = replayer(text, c.fast);
        testing::internal::CaptureStderr();
        const sim::Bytes requests[] = {kType, kBaud};
        for (size_t i = 0; i < c.played; ++i)
            EXPECT_EQ(replay.handle(requests[i]).workTime, c.fast ? 0ms : (i == 0 ? 20ms : 1ms));
        EXPECT_EQ(replay.finish(), c.status);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.said);
        // Past the end, every request differs from what the recording holds.
        if (c.played == 2) {
            testing::internal::CaptureStderr();
            replay.handle(kType);
            EXPECT_EQ(testing::internal::GetCapturedStderr(),
                      "camsim: replay diverged after the last recorded event: received "
                      "GET_CAMERA_TYPE length 5\n");
        }
    }
}

// The open's "verbose 0\r" and the library's own telegrams of a rate change are below the
// recording: answered here, not compared. A rate the library refused, or the rate the grabber
// is at already, sends nothing.
TEST(Replayer, TelegramsBelowTheRecordingAreAnsweredNotCompared) {
    const char verbose[] = "verbose 0\r";
    const sim::Bytes verboseOff =
        sim::makeTelegram(0x0019, sim::Bytes(verbose, verbose + sizeof verbose - 1));
    const sim::Bytes setRate = sim::makeTelegram(0x3316, {0x00, 0xC2, 0x01, 0x00});
    const struct {
        const char* name;
        std::string rate;
        std::vector<sim::Bytes> library;  // sent before the recorded GET_CL_BAUDRATE
        bool diverges;
    } cases[] = {
        {"new rate", "{\"ev\":\"rate\",\"ms\":20,\"rate\":115200,\"result\":0}\n",
         {kBaud, setRate, kBaud}, false},
        {"refused rate", "{\"ev\":\"rate\",\"ms\":20,\"rate\":76800,\"result\":2687705089}\n",
         {}, false},
        {"same rate", "{\"ev\":\"rate\",\"ms\":20,\"rate\":9600,\"result\":0}\n", {}, false},
        {"a fourth library telegram", "{\"ev\":\"rate\",\"ms\":20,\"rate\":115200,\"result\":0}\n",
         {kBaud, setRate, kBaud, setRate}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Replayer replay = replayer(kHeader + "{\"ev\":\"open\",\"ms\":1,\"port\":0}\n" + c.rate +
                                        tx(30, kBaud) + rx(31, 0, "9632090000000000"));
        EXPECT_TRUE(replay.handle(verboseOff).bytes.empty());
        for (const sim::Bytes& telegram : c.library) {
            const sim::Reaction r = replay.handle(telegram);
            if (replay.diverged()) break;
            ASSERT_GE(r.bytes.size(), 5u);
            EXPECT_EQ(r.bytes[0], telegram[0] | 0x80);
        }
        testing::internal::CaptureStderr();
        const sim::Reaction recorded = replay.handle(kBaud);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(replay.diverged(), c.diverges) << said;
        EXPECT_EQ(replay.finished(), !c.diverges);
        if (!c.diverges) {
            EXPECT_EQ(recorded.bytes, sim::makeTelegram(0x3296, {0, 0, 0, 0}));
        }
    }
    // After a recorded rate change the camera is at the new rate; a reboot puts it back.
    sim::Replayer replay = replayer(kHeader + "{\"ev\":\"rate\",\"ms\":20,\"rate\":115200,\"result\":0}\n" +
                                    tx(30, sim::makeTelegram(0x1704, {})) + rx(31, 0, "8417"));
    replay.handle(kBaud);
    replay.handle(setRate);
    EXPECT_EQ(replay.clBaud(), 115200u);
    replay.handle(sim::makeTelegram(0x1704, {}));
    EXPECT_EQ(replay.clBaud(), 9600u);
}

// The one reply reader under the rules of both channels: the COM-port transport (programmer and
// library) and the grabber channel, over a scripted stream of bytes.

#include "protocol/reply_reader.h"

#include <gtest/gtest.h>

#include <array>
#include <deque>

#include "../tessiport/test_support.h"

using namespace protocol;
using libtest::Bytes;
using libtest::telegram;

namespace {

// Hands out what the stream holds, at most what is asked; read number `failAt` fails.
class ScriptedSource : public ByteSource {
public:
    ScriptedSource(const Bytes& bytes, int failAt)
        : stream_(bytes.begin(), bytes.end()), failAt_(failAt) {}
    bool read(ReadPart, uint8_t* buffer, size_t offset, size_t count, size_t& got) override {
        if (reads_++ == failAt_) return false;
        for (got = 0; got < count && !stream_.empty(); ++got) {
            buffer[offset + got] = stream_.front();
            stream_.pop_front();
        }
        return true;
    }
    void debugTextSkipped(const uint8_t*) override { ++skipped; }
    unsigned skipped = 0;

private:
    std::deque<uint8_t> stream_;
    int failAt_;
    int reads_ = 0;
};

struct Outcome {
    bool ok;
    size_t held;
    unsigned skipped;
    bool operator==(const Outcome&) const = default;
};

Bytes concat(const std::vector<Bytes>& parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

const Bytes kReply = telegram(0x0190, {1, 2, 3, 4});  // 9 bytes
const Bytes kDebugText = telegram(0x0019, {'h', 'e', 'l', 'l', 'o', '\n'});  // 11 bytes

Bytes withLength(uint16_t length, size_t total) {
    Bytes bytes(total, 0x33);
    writeU16(&bytes[0], 0x0190);
    writeU16(&bytes[2], length);
    return bytes;
}

TEST(ReplyReader, LengthsDebugTextAndFailedReadsUnderEachChannelsRules) {
    const std::array<ReaderRules, 3> variants = {comPortReaderRules(Variant::Programmer),
                                                 comPortReaderRules(Variant::Library),
                                                 grabberReaderRules()};
    const struct {
        const char* name;
        Bytes stream;
        int failAt;  // the read that fails, -1 for none
        std::array<Outcome, 3> expected;  // programmer COM port, library COM port, grabber
    } rows[] = {
        {"whole reply", kReply, -1, {{{true, 9, 0}, {true, 9, 0}, {true, 9, 0}}}},
        // A length field of 4 or less announces no payload: the COM port reads that many bytes
        // and lets the checksum decide; the grabber channel refuses at once.
        {"length 4", withLength(4, 4), -1, {{{true, 4, 0}, {true, 4, 0}, {false, 0, 0}}}},
        {"length 2 and more bytes", withLength(2, 8), -1,
         {{{true, 6, 0}, {true, 6, 0}, {false, 0, 0}}}},
        {"length 0", withLength(0, 8), -1, {{{true, 4, 0}, {true, 4, 0}, {false, 0, 0}}}},
        {"nothing arrives", {}, -1, {{{false, 0, 0}, {false, 0, 0}, {false, 0, 0}}}},
        {"body stops short", Bytes(kReply.begin(), kReply.begin() + 6), -1,
         {{{true, 6, 0}, {true, 6, 0}, {false, 6, 0}}}},
        {"three header bytes", Bytes(kReply.begin(), kReply.begin() + 3), -1,
         {{{true, 4, 0}, {true, 4, 0}, {false, 3, 0}}}},
        // Whatever the length field says, the body ends at the working buffer.
        {"length beyond the buffer", withLength(0xFFFF, 700), -1,
         {{{true, 512, 0}, {true, 512, 0}, {true, 516, 0}}}},
        {"header read fails", kReply, 0, {{{false, 0, 0}, {false, 0, 0}, {false, 0, 0}}}},
        {"body read fails", kReply, 1, {{{false, 4, 0}, {false, 4, 0}, {false, 4, 0}}}},
        // Debug text is skipped on the COM port only; the grabber takes it for the reply.
        {"two debug texts, then the reply", concat({kDebugText, kDebugText, kReply}), -1,
         {{{true, 9, 2}, {true, 9, 2}, {true, 11, 0}}}},
        {"debug text without end", concat(std::vector<Bytes>(60, kDebugText)), -1,
         {{{true, 11, 21}, {true, 11, 51}, {true, 11, 0}}}},
        {"debug text, then nothing", kDebugText, -1,
         {{{false, 0, 1}, {false, 0, 1}, {true, 11, 0}}}},
        {"debug text read fails", concat({kDebugText, kReply}), 1,
         {{{false, 0, 1}, {false, 0, 1}, {false, 4, 0}}}},
    };
    const char* variantNames[] = {"programmer COM port", "library COM port", "grabber"};
    for (const auto& row : rows) {
        for (size_t v = 0; v < variants.size(); ++v) {
            SCOPED_TRACE(std::string(row.name) + " / " + variantNames[v]);
            ScriptedSource source(row.stream, row.failAt);
            std::array<uint8_t, 516> buffer;
            buffer.fill(0xEE);
            size_t held = 99;
            const bool ok = readReply(source, variants[v], buffer.data(), held);
            EXPECT_EQ((Outcome{ok, held, source.skipped}), row.expected[v]);
            if (ok && !row.stream.empty() && row.expected[v].skipped == 0) {
                // What was read lies in the buffer as it came.
                const size_t came = std::min(row.stream.size(), held);
                EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + long(came)),
                          Bytes(row.stream.begin(), row.stream.begin() + long(came)));
            }
        }
    }
}

}  // namespace

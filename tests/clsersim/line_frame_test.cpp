// The rate-carrying frames of the simulated Camera Link line: what a receiver hears at its rate.

#include <gtest/gtest.h>

#include "sim/clsersim/line_frame.h"

using clsersim::Bytes;
using clsersim::LineReceiver;

namespace {

Bytes framed(uint32_t baud, const Bytes& data) {
    Bytes out;
    clsersim::appendFrames(out, baud, data.data(), data.size());
    return out;
}

Bytes hear(LineReceiver& receiver, const Bytes& stream) {
    Bytes heard;
    EXPECT_TRUE(receiver.feed(stream.data(), stream.size(), heard));
    return heard;
}

}  // namespace

TEST(LineReceiver, HearsBytesUnchangedOnlyAtItsOwnRate) {
    const Bytes telegram = {0x10, 0x01, 0x05, 0x00, 0x16};
    const struct {
        uint32_t sender;
        uint32_t receiver;
        size_t heard;  // bytes heard of the 5 sent
    } rows[] = {
        {9600, 9600, 5},  {115200, 115200, 5}, {9600, 19200, 5},  {9600, 115200, 5},
        {19200, 9600, 2}, {38400, 9600, 1},    {115200, 9600, 0}, {115200, 38400, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.sender) + " -> " + std::to_string(row.receiver));
        LineReceiver receiver(row.receiver);
        const Bytes heard = hear(receiver, framed(row.sender, telegram));
        ASSERT_EQ(heard.size(), row.heard);
        if (row.sender == row.receiver) {
            EXPECT_EQ(heard, telegram);
            continue;
        }
        // Garbage never holds a telegram length: every byte has its top bit set.
        for (uint8_t b : heard)
            EXPECT_GE(b, 0x80);
    }
}

TEST(LineReceiver, ASlowReceiverCarriesTheRemainderAndFramesMayArriveInPieces) {
    // One byte at a time at 115200, heard at 9600: one garbled byte per twelve sent.
    LineReceiver slow(9600);
    size_t heard = 0;
    for (int i = 0; i < 24; ++i)
        heard += hear(slow, framed(115200, {uint8_t(i)})).size();
    EXPECT_EQ(heard, 2u);

    // A frame split anywhere, and more than kMaxFrameBytes in several frames.
    Bytes data(clsersim::kMaxFrameBytes + 300);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(i * 7);
    const Bytes stream = framed(19200, data);
    EXPECT_EQ(stream.size(), data.size() + 2 * clsersim::kFrameHeader);
    LineReceiver receiver(19200);
    Bytes all;
    for (size_t at = 0; at < stream.size(); at += 5) {
        const Bytes piece(stream.begin() + long(at),
                          stream.begin() + long(std::min(at + 5, stream.size())));
        const Bytes got = hear(receiver, piece);
        all.insert(all.end(), got.begin(), got.end());
    }
    EXPECT_EQ(all, data);
    receiver.setBaud(9600);
    EXPECT_EQ(hear(receiver, framed(9600, {1, 2})), (Bytes{1, 2}));
}

TEST(LineReceiver, ACameraUartDropsGarbledFramesWithWhatItHeardBeforeThem) {
    LineReceiver camera(9600, true);
    Bytes stream = framed(9600, {1, 2});
    const Bytes wrong = framed(19200, {3, 4});
    const Bytes after = framed(9600, {5});
    stream.insert(stream.end(), wrong.begin(), wrong.end());
    stream.insert(stream.end(), after.begin(), after.end());
    EXPECT_EQ(hear(camera, stream), (Bytes{5}));
    EXPECT_TRUE(camera.takeFramingError());
    EXPECT_FALSE(camera.takeFramingError());
    EXPECT_EQ(hear(camera, framed(9600, {6})), (Bytes{6}));
    EXPECT_FALSE(camera.takeFramingError());
}

TEST(LineReceiver, AStreamThatIsNotFramedIsRefused) {
    for (const Bytes& stream : {Bytes{0x80, 0x25, 0, 0, 0, 0},              // count 0
                                Bytes{0x80, 0x25, 0, 0, 0x01, 0x04, 1}}) {  // count 1025
        LineReceiver receiver(9600);
        Bytes heard;
        EXPECT_FALSE(receiver.feed(stream.data(), stream.size(), heard));
        EXPECT_TRUE(heard.empty());
    }
}

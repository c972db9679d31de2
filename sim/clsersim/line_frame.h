#pragma once
// The serial line between a frame grabber and the camera, carried over a TCP socket. A socket
// has no baud rate, so every chunk of bytes travels in a frame that names the rate it was sent
// at:
//
//     u32 sender's baud rate | u16 byte count (1..kMaxFrameBytes) | the bytes   (little-endian)
//
// The receiving side compares that rate with the rate its own UART is set to. Equal rates pass
// the bytes on unchanged; different rates garble them as a mismatched UART would: a receiver
// slower than the sender takes count x its rate / sender's rate bytes (rounded down, the rest
// carried into the next frame, so a short telegram sent much faster does not arrive at all), a
// faster receiver one byte per byte sent. Every garbled byte has its top bit set, so garbage
// alone never holds a telegram length of 5..512 and never passes for a telegram. A receiver may
// instead drop garbled bytes and report the framing error.
//
// Used by both ends: libclsersim (the grabber) and camsim (the camera).

#include <cstddef>
#include <cstdint>
#include <vector>

namespace clsersim {

using Bytes = std::vector<uint8_t>;

// The Camera Link baud rates; the index is the bit number of the standard's rate mask.
constexpr uint32_t kCameraLinkRates[8] = {9600,   19200,  38400,  57600,
                                          115200, 230400, 460800, 921600};

constexpr size_t kFrameHeader = 6;
constexpr size_t kMaxFrameBytes = 1024;

// Appends frames carrying `count` bytes sent at `baud` to `out` (several when count exceeds
// kMaxFrameBytes).
void appendFrames(Bytes& out, uint32_t baud, const uint8_t* data, size_t count);

// The receiving UART of one end: turns the framed socket stream into the bytes it hears.
class LineReceiver {
public:
    // `dropGarbled`: a UART that discards bytes with framing errors (the camera) instead of
    // handing them over (the grabber).
    explicit LineReceiver(uint32_t baud, bool dropGarbled = false)
        : baud_(baud), dropGarbled_(dropGarbled) {}

    void setBaud(uint32_t baud) { baud_ = baud; }
    // A receiver that takes every frame at the rate it was sent at, as an auto-bauding UART
    // would (a replay, which knows from the recording when the camera heard nothing).
    void followSender(bool follow) { followSender_ = follow; }
    uint32_t baud() const { return baud_; }

    // Takes raw socket bytes; appends what the UART hears to `heard`. False when the stream
    // is not made of frames (the peer is not a line end): the connection should be dropped.
    bool feed(const uint8_t* data, size_t count, Bytes& heard);
    void reset();
    // Bytes of an incomplete frame already taken in: the most it can still hand over without
    // more bytes from the socket.
    size_t heldBack() const { return partial_.size(); }
    // Whether a frame at another rate came since the last call, when garbled bytes are dropped:
    // the receiver then also lost what it had heard before in the same feed.
    bool takeFramingError() {
        const bool error = framingError_;
        framingError_ = false;
        return error;
    }

private:
    void hear(uint32_t senderBaud, const uint8_t* data, size_t count, Bytes& heard);

    uint32_t baud_;
    const bool dropGarbled_;
    bool framingError_ = false;
    bool followSender_ = false;
    Bytes partial_;       // an incomplete frame
    uint64_t carry_ = 0;  // the remainder of a slower receiver's byte count
};

}  // namespace clsersim

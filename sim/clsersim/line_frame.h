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
// alone never holds a telegram length of 5..512 and never passes for a telegram.
//
// Used by both ends: libclsersim (the grabber) and camsim (the camera).

#include <cstddef>
#include <cstdint>
#include <vector>

namespace clsersim {

using Bytes = std::vector<uint8_t>;

constexpr size_t kFrameHeader = 6;
constexpr size_t kMaxFrameBytes = 1024;

// Appends frames carrying `count` bytes sent at `baud` to `out` (several when count exceeds
// kMaxFrameBytes).
void appendFrames(Bytes& out, uint32_t baud, const uint8_t* data, size_t count);

// The receiving UART of one end: turns the framed socket stream into the bytes it hears.
class LineReceiver {
public:
    explicit LineReceiver(uint32_t baud) : baud_(baud) {}

    void setBaud(uint32_t baud) { baud_ = baud; }
    uint32_t baud() const { return baud_; }

    // Takes raw socket bytes; appends what the UART hears to `heard`. False when the stream
    // is not made of frames (the peer is not a line end): the connection should be dropped.
    bool feed(const uint8_t* data, size_t count, Bytes& heard);
    void reset();

private:
    void hear(uint32_t senderBaud, const uint8_t* data, size_t count, Bytes& heard);

    uint32_t baud_;
    Bytes partial_;       // an incomplete frame
    uint64_t carry_ = 0;  // the remainder of a slower receiver's byte count
};

}  // namespace clsersim

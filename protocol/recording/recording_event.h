#pragma once
// One event of a session recording: what the programmer sent to the camera and what came back,
// with the link's opens, closes, flushes, reboots and rate changes, each stamped with the
// milliseconds since the recording started.

#include <cstdint>
#include <string>
#include <vector>

namespace recording {

using Bytes = std::vector<uint8_t>;

enum class EventKind {
    Header,   // first line: program, version, interface, port, grabber library, rates, start
    Open,     // the link opens port or board `port`
    Close,
    Flush,    // what the camera sent meanwhile is discarded
    Reboot,   // the reboot flow starts
    Rate,     // the link asked for line rate `rate`, with `result`
    Sent,     // a command telegram, checksum included
    Reply,    // the reply as the caller received it (without checksum), with `result`
    Timeout,  // no usable reply: `result` says why
};

struct Event {
    EventKind kind = EventKind::Sent;
    uint64_t ms = 0;
    Bytes bytes;          // Sent, Reply
    uint32_t result = 0;  // Reply, Timeout, Rate
    uint32_t rate = 0;    // Rate
    int port = -1;        // Open, Header
    // Header only.
    std::string program, version, interface, device, grabber, start;
    std::vector<uint32_t> rates;
    size_t line = 0;  // line number in the file, when read from one
};

const char* kindName(EventKind kind);

}  // namespace recording

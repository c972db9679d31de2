#pragma once
// Writes what a camera link exchanges with the camera to a recording: every telegram sent, every
// reply or time-out, and the link's opens, closes, flushes, reboots and rate changes. The camera
// link classes call it from their operations when a recorder is attached (`CCamUpdate::recorder`),
// so COM port and Camera Link are recorded alike and each telegram once. Recording never changes
// what the link does: a recording that cannot be written any more is given up quietly.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "protocol/recording/recording_event.h"
#include "protocol/recording/recording_file.h"

namespace camera {

class SessionRecorder {
public:
    struct Setup {
        std::string program;    // "kelvoflash-cli"
        std::string version;
        std::string interface;  // "com" or "camlink"
        int port = 0;           // port index or board
        std::string device;     // the serial device behind the port, where known
        std::string grabber;    // frame grabber serial library (Camera Link)
        std::vector<uint32_t> rates;  // line rates set at the start
        std::string start;      // start time, ISO 8601 UTC
    };

    // Creates `path` (never overwriting a file) and writes the header. Null with `error`.
    static std::unique_ptr<SessionRecorder> create(const std::string& path, const Setup& setup,
                                                   platform::Clock& clock, std::string& error);

    void opened(int port);
    void closed();
    void flushed();
    void rebooting();
    void rateChanged(uint32_t rate, uint32_t result);
    // Milliseconds since the recording started.
    uint64_t elapsed() const;
    // One command transaction as the link's caller saw it, begun at `sentMs`: the command
    // (without its checksum, `size` bytes), the reply buffer after the call and the result.
    void exchange(uint64_t sentMs, const uint8_t* command, uint32_t size, const uint8_t* reply,
                  uint32_t capacity, uint32_t result);

    // The current time as the header's start field wants it.
    static std::string startTime();

private:
    SessionRecorder(std::unique_ptr<recording::RecordingWriter> writer, platform::Clock& clock);
    void write(recording::Event event);

    std::unique_ptr<recording::RecordingWriter> writer_;
    platform::Clock& clock_;
    platform::Milliseconds started_;
};

}  // namespace camera

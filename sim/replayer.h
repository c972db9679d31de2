#pragma once
// camsim --replay: answers as a recorded camera did. Each telegram that arrives must be the next
// one the recording holds; it then gets the recorded reply (after the recorded delay, or at once
// when fast) or, where the recording timed out, no answer. At the first telegram that differs
// camsim says where and answers nothing from then on.
//
// Two kinds of telegram are below the place the programmer records at, so they are not in a
// recording and are answered here instead of compared:
// - the "verbose 0\r" text the COM-port open sends by itself (the camera never answers it);
// - the serial interface library's own GET_CL_BAUDRATE / SET_CL_BAUDRATE / GET_CL_BAUDRATE of a
//   rate change (one "rate" event of the recording): answered from camsim's Camera Link settings,
//   as many as the library sends for a change to a new rate it accepted.

#include <chrono>
#include <cstdint>
#include <string>

#include "protocol/recording/recording_file.h"
#include "sim/camera_model.h"
#include "sim/camlink_settings.h"
#include "sim/options.h"

namespace sim {

class Replayer {
public:
    Replayer(recording::Recording recording, const SimOptions& options, bool fast);

    // What the recorded camera does with this complete telegram.
    Reaction handle(const Bytes& telegram);

    // The Camera Link rate the recorded camera is at.
    uint32_t clBaud() const { return settings_.baud(); }
    bool diverged() const { return diverged_; }
    bool finished() const { return next_ >= events_.size(); }
    // The exit status: 0 when the replay ran to its end, else kDiverged or kUnfinished. Prints
    // the unfinished replay's line when it applies.
    int finish() const;

    static constexpr int kDiverged = 4;
    static constexpr int kUnfinished = 5;

private:
    // Steps over the events up to the next telegram sent, taking in rate changes and opens.
    void advance();
    bool isSetupTelegram(uint16_t code) const;

    std::vector<recording::Event> events_;
    size_t next_ = 1;  // the next event to play (0 is the header)
    size_t sent_ = 0;  // telegrams in the recording
    size_t answered_ = 0;
    bool fast_;
    bool diverged_ = false;
    CamLinkSettings settings_;
    uint32_t grabberRate_;        // the rate the library's grabber is at, as the recording tells
    int setupTelegramsLeft_ = 0;  // of the rate change being played
};

}  // namespace sim

#pragma once
// The single-threaded poll loop of camsim: reads the port (and the Camera Link socket, if there
// is one), hands complete telegrams to the one camera model, keeps the camera silent while it
// works or reboots, and writes each answer to the line its command came from.

#include <chrono>
#include <optional>

#include "sim/camera_model.h"
#include "sim/camlink_endpoint.h"
#include "sim/flash_device.h"
#include "sim/options.h"
#include "sim/output_queue.h"
#include "sim/pty_endpoint.h"
#include "sim/replayer.h"
#include "sim/telegram_reader.h"

namespace sim {

class SimServer {
public:
    // `camLink` may be null (no Camera Link socket).
    SimServer(const SimOptions& options, DeviceStore& store, PtyEndpoint& port,
              CamLinkEndpoint* camLink);

    // Serves until `stopFd` (a signalfd) becomes readable or `stdinFd` reaches end of file
    // (-1: stdin is not watched). Returns the process exit code.
    // With --pace-report, prints each paced line's check on stderr when it ends.
    int run(int stopFd, int stdinFd);
    // Answers from a recording instead of the camera model (null: the model answers).
    void replay(Replayer* replayer);

private:
    int serve(int stopFd, int stdinFd);
    void reportPace() const;
    using Clock = std::chrono::steady_clock;
    enum class State { Listening, Working, Offline, Gone };
    enum class Line { Pty, CamLink };

    void react(const Reaction& reaction, Line line, Clock::time_point now);
    void startSending(const Reaction& reaction, Line line, Clock::time_point now);
    void clearInput();
    void advanceTimers(Clock::time_point now);
    void processInput(Clock::time_point now);
    void readPort(Clock::time_point now);
    void writePort(Clock::time_point now);
    void saveIfIdle(Clock::time_point now);
    // How long poll may sleep: until the next timer, pacing step or save (none: no limit).
    std::optional<std::chrono::nanoseconds> pollTimeout(Clock::time_point now) const;

    bool paceReport_;
    bool paced_;
    DeviceStore& store_;
    PtyEndpoint& port_;
    CamLinkEndpoint* camLink_;
    CameraModel model_;
    Replayer* replayer_ = nullptr;
    TelegramReader reader_;
    OutputQueue output_;
    State state_ = State::Listening;
    Clock::time_point stateUntil_{};
    Reaction pending_;                    // the answer held back while the camera works
    Line pendingLine_ = Line::Pty;        // and where it goes
    uint64_t pendingClient_ = 0;          // the Camera Link client it is for
    Clock::time_point lastActivity_{};
    Clock::time_point portQuietUntil_{};  // after a hang-up, do not spin on the port
    std::optional<Clock::time_point> blockedSince_;  // the pty has taken no output since then
};

}  // namespace sim

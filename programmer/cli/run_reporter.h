#pragma once
// Shows a programming run as it goes: a progress bar per device on a terminal, plain lines
// ("Main FPGA: 40%", every 10 %) otherwise, or JSON lines (one event per line).

#include <functional>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/clock.h"
#include "programmer/app/prog_dlg.h"

namespace cli {

enum class OutputStyle { kBars, kLines, kJson };

class RunReporter : public app::ProgramRunObserver {
public:
    RunReporter(OutputStyle style, std::ostream& out, std::function<int()> columnsNow = {})
        : columns(std::move(columnsNow)), style_(style), out_(out) {}

    void phaseStarted(int row, app::RunPhase phase) override;
    void deviceFinished(int row, const app::DeviceOutcome& outcome) override;
    void runFinished(bool result) override;
    void statusShown(const std::string& text) override;

    // The dialog's model changed: progress, and the status line statusShown announced.
    void modelChanged(const app::DialogModel& model);
    // A message or question of the flows or of the command (UTF-8).
    void message(const std::string& text);
    // Ends an open progress line, so that other output starts on a line of its own.
    void endLine();
    // The devices of the run in order with the seconds each takes to write, the camera's wait
    // after each, and the clock the elapsed and remaining times come from.
    void setEstimate(const std::vector<std::pair<int, int>>& deviceSeconds, int rebootSeconds,
                     platform::Clock& clock);
    // The terminal's width in columns, asked at each redraw, so that the bars follow a resize.
    std::function<int()> columns;

    // No camera answered: the cause as a JSON event (nothing when it is not known).
    void connectionFailed(const app::ConnectionCause& cause);
    // One JSON line (only in the JSON style).
    void event(const nlohmann::json& value);

    // Called with every event, in every style (the run's record takes its results from them).
    std::function<void(const nlohmann::json&)> onEvent;

    // Called when a device is opened (`finished` false) and when it is finished (true).
    std::function<void(int row, bool finished)> onDeviceStep;

    bool finished() const { return finished_; }
    // The run ended normally and no device failed or was left out.
    bool result() const { return result_; }

private:
    void drawBar();
    void drawStatus();
    void draw(const std::string& line);
    // "device 2 of 5, 0:12 elapsed, 0:30 left, run 3:10 left"; empty without an estimate.
    std::string timing() const;
    int secondsSince(platform::Milliseconds start) const;
    int deviceSecondsLeft() const;
    int rebootSecondsLeft() const;
    int width() const;

    platform::Clock* clock_ = nullptr;
    std::vector<std::pair<int, int>> estimate_;
    int rebootSeconds_ = 0;
    int deviceIndex_ = 0;  // 1-based place of the device being worked on
    platform::Milliseconds deviceStart_{0}, rebootStart_{0};

    OutputStyle style_;
    std::ostream& out_;
    int row_ = -1;  // the device being worked on, -1 between devices
    app::RunPhase phase_ = app::RunPhase::kOpen;
    int percent_ = 0;
    int lastTenth_ = 0;      // plain lines: the last 10 % step printed
    bool lineOpen_ = false;  // a bar or status line waits to be redrawn or ended
    bool inReboot_ = false;
    std::string status_;
    bool statusChanged_ = false;  // since the last model change
    bool finished_ = false;
    bool result_ = false;
    bool deviceFailed_ = false;
};

}  // namespace cli

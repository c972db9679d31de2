#pragma once
// Shows a programming run as it goes: a progress bar per device on a terminal, plain lines
// ("Main FPGA: 40%", every 10 %) otherwise, or JSON lines (one event per line).

#include <iosfwd>
#include <string>

#include <nlohmann/json.hpp>

#include "programmer/app/prog_dlg.h"

namespace cli {

enum class OutputStyle { kBars, kLines, kJson };

class RunReporter : public app::ProgramRunObserver {
public:
    RunReporter(OutputStyle style, std::ostream& out) : style_(style), out_(out) {}

    void phaseStarted(int row, app::RunPhase phase) override;
    void deviceFinished(int row, const app::DeviceOutcome& outcome) override;
    void runFinished(bool result) override;

    // The dialog's model changed: progress and status line.
    void modelChanged(const app::DialogModel& model);
    // A message or question of the flows or of the command (UTF-8).
    void message(const std::string& text);
    // Ends an open progress line, so that other output starts on a line of its own.
    void endLine();
    // One JSON line (only in the JSON style).
    void event(const nlohmann::json& value);

    bool finished() const { return finished_; }
    // The run ended normally and no device failed or was left out.
    bool result() const { return result_; }

private:
    void drawBar();
    void drawStatus();
    void draw(const std::string& line);

    OutputStyle style_;
    std::ostream& out_;
    int row_ = -1;  // the device being worked on, -1 between devices
    app::RunPhase phase_ = app::RunPhase::kOpen;
    int percent_ = 0;
    int lastTenth_ = 0;      // plain lines: the last 10 % step printed
    bool lineOpen_ = false;  // a bar or status line waits to be redrawn or ended
    bool inReboot_ = false;
    std::string status_;
    bool finished_ = false;
    bool result_ = false;
    bool deviceFailed_ = false;
};

}  // namespace cli

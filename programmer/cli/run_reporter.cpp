#include "programmer/cli/run_reporter.h"

#include <algorithm>
#include <ostream>

#include "programmer/cli/devices.h"
#include "programmer/cli/program_plan.h"

namespace cli {

namespace {

constexpr int kBarWidth = 30;
constexpr int kBarWidthMin = 10;
constexpr size_t kCaptionWidth = 10;

const char* phaseName(app::RunPhase phase) {
    switch (phase) {
        case app::RunPhase::kOpen:
            return "open";
        case app::RunPhase::kErase:
            return "erase";
        case app::RunPhase::kWrite:
            return "write";
        case app::RunPhase::kClose:
            return "close";
        case app::RunPhase::kReboot:
            return "reboot";
        case app::RunPhase::kRead:
            return "read";
    }
    return "?";
}

const char* phaseWords(app::RunPhase phase) {
    switch (phase) {
        case app::RunPhase::kOpen:
            return "opening";
        case app::RunPhase::kErase:
            return "erasing";
        case app::RunPhase::kWrite:
            return "writing";
        case app::RunPhase::kClose:
            return "closing";
        case app::RunPhase::kReboot:
            return "rebooting the camera";
        case app::RunPhase::kRead:
            return "reading";
    }
    return "";
}

// The caption padded to a column, counting characters rather than bytes ("µ" takes two).
std::string paddedCaption(int row) {
    std::string caption = deviceCaption(row);
    size_t width = 0;
    for (const char c : caption)
        width += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    if (width < kCaptionWidth)
        caption.append(kCaptionWidth - width, ' ');
    return caption;
}

std::string bar(int percent, int width) {
    const int filled = percent * width / 100;
    return "[" + std::string(size_t(filled), '#') + std::string(size_t(width - filled), '-') + "]";
}

// Characters, not bytes ("µ" takes two bytes).
size_t textWidth(const std::string& text) {
    size_t width = 0;
    for (const char c : text)
        width += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return width;
}

// The first `width` characters of `text`.
std::string cut(const std::string& text, size_t width) {
    size_t seen = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && seen++ == width)
            return text.substr(0, i);
    }
    return text;
}

std::string percentText(int percent) {
    std::string text = std::to_string(percent) + "%";
    return std::string(text.size() < 4 ? 4 - text.size() : 0, ' ') + text;
}

nlohmann::json deviceEvent(const char* name, int row) {
    return {{"event", name}, {"device", deviceCaption(row)}, {"row", row}};
}

}  // namespace

void RunReporter::event(const nlohmann::json& value) {
    if (onEvent)
        onEvent(value);
    if (style_ != OutputStyle::kJson)
        return;
    out_ << value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n"
         << std::flush;
}

void RunReporter::phaseStarted(int row, app::RunPhase phase) {
    if (phase == app::RunPhase::kOpen) {
        // The line of the previous device's reboot goes away.
        if (lineOpen_ && style_ == OutputStyle::kBars)
            draw("");
        lineOpen_ = false;
        inReboot_ = false;
        row_ = row;
        percent_ = 0;
        lastTenth_ = 0;
        ++deviceIndex_;
        if (clock_ != nullptr)
            deviceStart_ = clock_->now();
        if (onDeviceStep)
            onDeviceStep(row, false);
        event(deviceEvent("started", row));
        if (style_ == OutputStyle::kLines)
            out_ << deviceCaption(row) << ": started" << (estimate_.empty() ? "" : ", ") << timing()
                 << "\n"
                 << std::flush;
    }
    phase_ = phase;
    nlohmann::json value = deviceEvent("phase", row);
    value["phase"] = phaseName(phase);
    event(value);
    if (phase == app::RunPhase::kReboot) {
        inReboot_ = true;
        if (clock_ != nullptr)
            rebootStart_ = clock_->now();
    }
    if (style_ == OutputStyle::kLines && phase != app::RunPhase::kOpen &&
        phase != app::RunPhase::kClose)
        out_ << deviceCaption(row) << ": " << phaseWords(phase)
             << (phase == app::RunPhase::kReboot && rebootSeconds_ > 0
                     ? " (about " + std::to_string(rebootSeconds_) + " s)"
                     : "")
             << "\n"
             << std::flush;
    if (style_ == OutputStyle::kBars)
        inReboot_ ? drawStatus() : drawBar();
}

void RunReporter::deviceFinished(int row, const app::DeviceOutcome& outcome) {
    const bool done = outcome.result == app::DeviceResult::kProgrammed ||
                      outcome.result == app::DeviceResult::kRead;
    if (done)
        percent_ = 100;
    else
        deviceFailed_ = true;
    phase_ = app::RunPhase::kClose;  // no more progress for this device
    if (onDeviceStep)
        onDeviceStep(row, true);
    nlohmann::json value = deviceEvent(done ? "done" : "failed", row);
    if (!done)
        value["error"] = hexText(outcome.error);
    event(value);

    std::string verdict = done ? "done" : "FAILED";
    if (!done && outcome.error != 0)
        verdict += " (error " + hexText(outcome.error) + ")";
    if (style_ == OutputStyle::kLines) {
        if (done && lastTenth_ < 10)
            out_ << deviceCaption(row) << ": 100%\n";
        out_ << deviceCaption(row) << ": " << verdict << "\n" << std::flush;
    } else if (style_ == OutputStyle::kBars) {
        if (row != row_)
            percent_ = 0;  // a device left out before it was opened
        const std::string head = paddedCaption(row) + " ";
        const std::string tail = " " + percentText(percent_) + "  " + verdict;
        const int room = width() - 1 - int(textWidth(head + tail)) - 2;
        draw(head + bar(percent_, std::clamp(room, kBarWidthMin, kBarWidth)) + tail);
        out_ << "\n" << std::flush;
        lineOpen_ = false;
    }
    row_ = row;
}

void RunReporter::runFinished(bool result) {
    if (lineOpen_ && style_ == OutputStyle::kBars)
        draw("");
    lineOpen_ = false;
    row_ = -1;
    finished_ = true;
    // The dialog's answer is true also when a device failed in its write loop.
    result_ = result && !deviceFailed_;
    event({{"event", "finished"}, {"result", result_}});
}

void RunReporter::statusShown(const std::string& text) {
    statusChanged_ = statusChanged_ || text != status_;
    status_ = text;
}

void RunReporter::modelChanged(const app::DialogModel& model) {
    const bool statusChanged = statusChanged_;
    statusChanged_ = false;
    if (row_ < 0 || finished_)
        return;
    if (inReboot_) {
        if (statusChanged && style_ == OutputStyle::kBars)
            drawStatus();
        return;
    }
    if (phase_ != app::RunPhase::kWrite && phase_ != app::RunPhase::kRead)
        return;
    const int percent = model.control(app::progressId(row_)).position;
    if (percent == percent_)
        return;
    percent_ = percent;
    nlohmann::json value = deviceEvent("progress", row_);
    value["percent"] = percent;
    event(value);
    if (style_ == OutputStyle::kBars)
        drawBar();
    if (style_ == OutputStyle::kLines) {
        // Only the last 10 % step reached: a device written in few blocks jumps.
        if (percent / 10 > lastTenth_) {
            lastTenth_ = percent / 10;
            out_ << deviceCaption(row_) << ": " << lastTenth_ * 10 << "%\n" << std::flush;
        }
    }
}

void RunReporter::connectionFailed(const app::ConnectionCause& cause) {
    if (!cause.name.empty())
        event({{"event", "connection-failed"}, {"cause", cause.name}, {"text", cause.line}});
}

void RunReporter::message(const std::string& text) {
    event({{"event", "message"}, {"text", text}});
}

void RunReporter::endLine() {
    if (!lineOpen_ || style_ != OutputStyle::kBars)
        return;
    out_ << "\n" << std::flush;
    lineOpen_ = false;
}

void RunReporter::setEstimate(const std::vector<std::pair<int, int>>& deviceSeconds,
                              int rebootSeconds, platform::Clock& clock) {
    estimate_ = deviceSeconds;
    rebootSeconds_ = rebootSeconds;
    clock_ = &clock;
    deviceStart_ = rebootStart_ = clock.now();
}

int RunReporter::secondsSince(platform::Milliseconds start) const {
    return clock_ == nullptr ? 0 : int((clock_->now() - start).count() / 1000);
}

// From the bytes still to send at the line's rate; once a part is written, from the pace so far.
int RunReporter::deviceSecondsLeft() const {
    int planned = 0;
    for (const auto& [row, seconds] : estimate_)
        if (row == row_)
            planned = seconds;
    if (inReboot_ || phase_ == app::RunPhase::kClose)
        return 0;
    const int elapsed = secondsSince(deviceStart_);
    if (percent_ >= 5 && elapsed > 0)
        return elapsed * (100 - percent_) / percent_;
    return planned * (100 - percent_) / 100;
}

int RunReporter::rebootSecondsLeft() const {
    if (!inReboot_)
        return rebootSeconds_;
    return std::max(0, rebootSeconds_ - secondsSince(rebootStart_));
}

std::string RunReporter::timing() const {
    if (estimate_.empty())
        return {};
    int runLeft = deviceSecondsLeft() + rebootSecondsLeft();
    bool later = false;
    for (const auto& [row, seconds] : estimate_) {
        if (later)
            runLeft += seconds + rebootSeconds_;
        later = later || row == row_;
    }
    return "device " + std::to_string(deviceIndex_) + " of " + std::to_string(estimate_.size()) +
           ", " + durationText(secondsSince(deviceStart_)) + " elapsed, " +
           durationText(deviceSecondsLeft()) + " left, run " + durationText(runLeft) + " left";
}

int RunReporter::width() const {
    const int cols = columns ? columns() : 0;
    return cols > 0 ? cols : 80;
}

void RunReporter::drawBar() {
    if (row_ < 0)
        return;
    const std::string head = paddedCaption(row_) + " ";
    const std::string tail = " " + percentText(percent_) + "  " + phaseWords(phase_);
    const std::string times = timing().empty() ? "" : "  " + timing();
    // The bar takes what the texts leave, within its bounds; the times go first when narrow.
    const int fixed = int(textWidth(head + tail) + 2);
    const int room = width() - 1 - fixed - int(textWidth(times));
    const int barWidth = std::clamp(room, kBarWidthMin, kBarWidth);
    draw(head + bar(percent_, barWidth) + tail + (room >= kBarWidthMin ? times : ""));
}

void RunReporter::drawStatus() {
    // The countdown first: a narrow terminal cuts the end of the line.
    std::string line = width() >= 60 ? std::string(kCaptionWidth + 1, ' ') : std::string();
    if (clock_ != nullptr && rebootSeconds_ > 0)
        line += "about " + std::to_string(rebootSecondsLeft()) + " s left: ";
    line += status_;
    if (!estimate_.empty())
        line += "  " + timing();
    draw(line);
}

void RunReporter::draw(const std::string& line) {
    // Carriage return and "erase to the end of the line": the line is redrawn in place, never
    // longer than the terminal is wide (a wrapped line could not be redrawn).
    const std::string shown = cut(line, size_t(std::max(1, width() - 1)));
    out_ << "\r\033[K" << shown << std::flush;
    lineOpen_ = !line.empty();
}

}  // namespace cli

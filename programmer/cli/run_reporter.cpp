#include "programmer/cli/run_reporter.h"

#include <ostream>

#include "programmer/app/text_encoding.h"
#include "programmer/cli/devices.h"

namespace cli {

namespace {

constexpr int kBarWidth = 30;
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

std::string bar(int percent) {
    const int filled = percent * kBarWidth / 100;
    return "[" + std::string(size_t(filled), '#') + std::string(size_t(kBarWidth - filled), '-') +
           "]";
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
        event(deviceEvent("started", row));
        if (style_ == OutputStyle::kLines)
            out_ << deviceCaption(row) << ": started\n" << std::flush;
    }
    phase_ = phase;
    nlohmann::json value = deviceEvent("phase", row);
    value["phase"] = phaseName(phase);
    event(value);
    if (phase == app::RunPhase::kReboot)
        inReboot_ = true;
    if (style_ == OutputStyle::kLines && phase != app::RunPhase::kOpen &&
        phase != app::RunPhase::kClose)
        out_ << deviceCaption(row) << ": " << phaseWords(phase) << "\n" << std::flush;
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
    nlohmann::json value = deviceEvent(done ? "done" : "failed", row);
    if (!done)
        value["error"] = errorCodeText(outcome.error);
    event(value);

    std::string verdict = done ? "done" : "FAILED";
    if (!done && outcome.error != 0)
        verdict += " (error " + errorCodeText(outcome.error) + ")";
    if (style_ == OutputStyle::kLines) {
        if (done && lastTenth_ < 10)
            out_ << deviceCaption(row) << ": 100%\n";
        out_ << deviceCaption(row) << ": " << verdict << "\n" << std::flush;
    } else if (style_ == OutputStyle::kBars) {
        if (row != row_)
            percent_ = 0;  // a device left out before it was opened
        draw(paddedCaption(row) + " " + bar(percent_) + " " + percentText(percent_) + "  " +
             verdict);
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

void RunReporter::modelChanged(const app::DialogModel& model) {
    const std::string status = app::Latin1ToUtf8(model.caption(app::kIdStatusLine));
    const bool statusChanged = status != status_;
    status_ = status;
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

void RunReporter::message(const std::string& text) {
    event({{"event", "message"}, {"text", text}});
}

void RunReporter::endLine() {
    if (!lineOpen_ || style_ != OutputStyle::kBars)
        return;
    out_ << "\n" << std::flush;
    lineOpen_ = false;
}

void RunReporter::drawBar() {
    if (row_ < 0)
        return;
    draw(paddedCaption(row_) + " " + bar(percent_) + " " + percentText(percent_) + "  " +
         phaseWords(phase_));
}

void RunReporter::drawStatus() {
    draw(std::string(kCaptionWidth + 1, ' ') + status_);
}

void RunReporter::draw(const std::string& line) {
    // Carriage return and "erase to the end of the line": the line is redrawn in place.
    out_ << "\r\033[K" << line << std::flush;
    lineOpen_ = !line.empty();
}

}  // namespace cli

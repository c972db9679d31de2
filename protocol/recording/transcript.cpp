#include "protocol/recording/transcript.h"

#include <cstdio>
#include <set>
#include <vector>

#include "protocol/commands.h"
#include "protocol/little_endian.h"
#include "protocol/recording/telegram_text.h"

namespace recording {

namespace {

namespace cmd = protocol::cmd;
constexpr size_t kFailuresListed = 20;

std::string seconds(uint64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%9.3f", double(ms) / 1000.0);
    return text;
}

std::string headerLine(const Event& h) {
    std::string line = "Recording by " + h.program + " " + h.version + ", started " + h.start +
                       "\nInterface: " + h.interface + " port " + std::to_string(h.port);
    if (!h.device.empty()) line += " (" + h.device + ")";
    if (!h.grabber.empty()) line += ", grabber library " + h.grabber;
    line += ", rates";
    for (const uint32_t rate : h.rates) line += " " + std::to_string(rate);
    return line + "\n";
}

bool isWrite(uint16_t code) {
    return code == cmd::WRITE_BLOCK || code == cmd::WRITE_EEPROM_BLOCK;
}
bool isRead(uint16_t code) { return code == cmd::READ_BLOCK || code == cmd::READ_EEPROM_BLOCK; }

}  // namespace

std::string transcript(const Recording& recording) {
    std::string out = headerLine(recording.events.front());
    out += "     time  event\n";
    size_t sent = 0, replies = 0, timeouts = 0;
    size_t written = 0, writtenBytes = 0, readBack = 0, readBytes = 0;
    std::vector<int> devices;
    std::vector<std::string> failures;
    const Bytes* lastSent = nullptr;
    for (size_t i = 1; i < recording.events.size(); ++i) {
        const Event& e = recording.events[i];
        std::string line = seconds(e.ms) + "  ";
        switch (e.kind) {
            case EventKind::Header:
                break;
            case EventKind::Open:
                line += "open port " + std::to_string(e.port);
                break;
            case EventKind::Close:
                line += "close";
                break;
            case EventKind::Flush:
                line += "flush";
                break;
            case EventKind::Reboot:
                line += "reboot";
                break;
            case EventKind::Rate:
                line += "rate " + std::to_string(e.rate) + "  " + resultText(e.result);
                break;
            case EventKind::Sent:
                ++sent;
                lastSent = &e.bytes;
                line += "->  " + describeTelegram(e.bytes);
                break;
            case EventKind::Reply:
            case EventKind::Timeout: {
                const bool timeout = e.kind == EventKind::Timeout;
                timeouts += timeout;
                replies += !timeout;
                line += "<-  ";
                line += timeout ? std::string("no reply") : describeTelegram(e.bytes);
                line += "  " + resultText(e.result);
                if (!lastSent || lastSent->size() < 4) break;
                const uint16_t code = protocol::readU16(lastSent->data());
                uint32_t address = 0, length = 0;
                telegramAddress(*lastSent, address, length);
                if (e.result == 0 && isWrite(code)) {
                    ++written;
                    writtenBytes += length;
                } else if (e.result == 0 && isRead(code)) {
                    ++readBack;
                    readBytes += length;
                }
                for (size_t row = 0; row < protocol::kOpenCodeByRow.size(); ++row) {
                    bool seen = false;
                    for (const int d : devices) seen = seen || d == int(row);
                    if (code == protocol::kOpenCodeByRow[row] && !seen) devices.push_back(int(row));
                }
                if (e.result != 0)
                    failures.push_back("line " + std::to_string(e.line) + " at " +
                                       std::to_string(e.ms) + " ms: " + describeTelegram(*lastSent) +
                                       ": " + resultText(e.result));
                break;
            }
        }
        out += line + "\n";
    }
    if (recording.cut) out += "           (the recording was cut off inside the next event)\n";

    out += "\nSummary: " + std::to_string(sent) + " telegrams sent, " + std::to_string(replies) +
           " replies, " + std::to_string(timeouts) + " without reply\n";
    out += "Devices touched:";
    if (devices.empty()) out += " none";
    for (size_t i = 0; i < devices.size(); ++i)
        out += std::string(i ? ", " : " ") + protocol::kFirmwareRecordNames[size_t(devices[i])];
    out += "\nBlocks written: " + std::to_string(written) + " (" + std::to_string(writtenBytes) +
           " bytes), read back: " + std::to_string(readBack) + " (" + std::to_string(readBytes) +
           " bytes)\n";
    out += "Failures: " + std::to_string(failures.size()) + "\n";
    for (size_t i = 0; i < failures.size() && i < kFailuresListed; ++i)
        out += "  " + failures[i] + "\n";
    if (failures.size() > kFailuresListed)
        out += "  ... and " + std::to_string(failures.size() - kFailuresListed) + " more\n";
    return out;
}

}  // namespace recording

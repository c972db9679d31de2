#include "sim/replayer.h"

#include <cstdio>

#include "protocol/commands.h"
#include "protocol/error_codes.h"
#include "protocol/little_endian.h"
#include "protocol/recording/telegram_text.h"
#include "protocol/telegram.h"

namespace sim {

namespace {

using recording::EventKind;
namespace cmd = protocol::cmd;

// The grabber's rate after a board is opened.
constexpr uint32_t kGrabberStartRate = 9600;
// The library's own telegrams for a change to a new rate: GET_CL_BAUDRATE, SET_CL_BAUDRATE and
// GET_CL_BAUDRATE at the new rate.
constexpr int kRateChangeTelegrams = 3;
// Refusals of the library that come before it sends anything (invalid or unsupported rate, a
// grabber that cannot switch).
constexpr uint32_t kRefusedBits = 0xA0000001;
constexpr uint32_t kRateNotPossible = 0x8033200D;

SimOptions withRate(SimOptions options, const recording::Event& header) {
    if (header.interface == "camlink" && !header.rates.empty()) options.clBaud = header.rates[0];
    return options;
}

// The reply as it went over the line: the recording holds what the caller received, without
// the checksum and cut to the caller's buffer; what was cut is filled with zeros (the caller
// never saw it). A reply whose checksum failed is sent with a wrong one.
Bytes wireReply(uint16_t command, const recording::Event& reply) {
    if (reply.result == protocol::kErrChecksum || reply.result == protocol::kErrLibraryChecksum) {
        Bytes bad = makeReply(command, {});
        bad.back() = uint8_t(bad.back() + 1);
        return bad;
    }
    Bytes bytes = reply.bytes;
    if (bytes.size() < 4) {
        Bytes minimal = makeReply(command, {});
        minimal.pop_back();
        for (size_t i = 0; i < bytes.size(); ++i) minimal[i] = bytes[i];
        bytes = minimal;
    }
    size_t length = protocol::readU16(&bytes[2]);
    if (length < protocol::kTelegramMin || length > protocol::kTelegramMax) {
        length = bytes.size() + 1;
        protocol::writeU16(&bytes[2], uint16_t(length));
    }
    bytes.resize(length - 1, 0);
    bytes.push_back(protocol::checksumOf(bytes.data(), bytes.size()));
    return bytes;
}

const Bytes& verboseOff() {
    static const Bytes kText = [] {
        const char text[] = "verbose 0\r";
        return makeTelegram(cmd::TEXT_COMMAND, Bytes(text, text + sizeof text - 1));
    }();
    return kText;
}

std::string describe(const Bytes& telegram) { return recording::describeTelegram(telegram); }

}  // namespace

Replayer::Replayer(recording::Recording recording, const SimOptions& options, bool fast)
    : events_(std::move(recording.events)),
      fast_(fast),
      settings_(withRate(options, events_.front())),
      grabberRate_(kGrabberStartRate) {
    for (const recording::Event& e : events_) sent_ += e.kind == EventKind::Sent;
    advance();
}

void Replayer::advance() {
    while (next_ < events_.size() && events_[next_].kind != EventKind::Sent) {
        const recording::Event& e = events_[next_++];
        if (e.kind == EventKind::Open) {
            grabberRate_ = kGrabberStartRate;
        } else if (e.kind == EventKind::Rate) {
            const bool refused =
                (e.result & kRefusedBits) == kRefusedBits || e.result == kRateNotPossible;
            if (!refused && e.rate != grabberRate_) {
                setupTelegramsLeft_ += kRateChangeTelegrams;
                grabberRate_ = e.rate;
            }
        }
    }
}

bool Replayer::isSetupTelegram(uint16_t code) const {
    return setupTelegramsLeft_ > 0 && (code == cmd::GET_CL_BAUDRATE || code == cmd::SET_CL_BAUDRATE);
}

Reaction Replayer::handle(const Bytes& telegram) {
    Reaction reaction;
    if (diverged_ || telegram.size() < 4) return reaction;
    const uint16_t code = protocol::readU16(telegram.data());
    // The library's telegrams of a rate change come before the programmer's next one, which may
    // be the same GET_CL_BAUDRATE: they are taken first.
    if (isSetupTelegram(code)) {
        --setupTelegramsLeft_;
        if (auto reply = settings_.handle(code, telegram)) reaction.bytes = *reply;
        return reaction;
    }
    const bool expected = next_ < events_.size() && events_[next_].bytes == telegram;
    if (!expected && code == cmd::TEXT_COMMAND && telegram == verboseOff()) return reaction;
    if (!expected) {
        diverged_ = true;
        if (next_ >= events_.size()) {
            std::fprintf(stderr,
                         "camsim: replay diverged after the last recorded event: received %s\n",
                         describe(telegram).c_str());
        } else {
            const recording::Event& want = events_[next_];
            std::fprintf(stderr,
                         "camsim: replay diverged at event %zu (line %zu): expected %s, "
                         "received %s\n",
                         next_, want.line, describe(want.bytes).c_str(),
                         describe(telegram).c_str());
        }
        return reaction;
    }

    const recording::Event& sent = events_[next_++];
    setupTelegramsLeft_ = 0;  // whatever the library did for a rate change is over
    ++answered_;
    if (code == cmd::REBOOT) settings_.restart();
    if (next_ < events_.size() && events_[next_].kind == EventKind::Reply) {
        const recording::Event& reply = events_[next_++];
        reaction.bytes = wireReply(code, reply);
        if (!fast_ && reply.ms > sent.ms) reaction.workTime = std::chrono::milliseconds(reply.ms - sent.ms);
    } else if (next_ < events_.size() && events_[next_].kind == EventKind::Timeout) {
        ++next_;  // the camera stayed silent
    }
    advance();
    if (finished())
        std::fprintf(stderr, "camsim: replay ran to its end: %zu telegrams answered as recorded\n",
                     answered_);
    return reaction;
}

int Replayer::finish() const {
    if (diverged_) return kDiverged;
    if (finished()) return 0;
    std::fprintf(stderr, "camsim: replay stopped before its end: %zu of %zu telegrams played\n",
                 answered_, sent_);
    return kUnfinished;
}

}  // namespace sim

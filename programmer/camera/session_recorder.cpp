#include "programmer/camera/session_recorder.h"

#include <algorithm>
#include <ctime>

#include "protocol/error_codes.h"
#include "protocol/little_endian.h"
#include "protocol/telegram.h"

namespace camera {

namespace {

// Results of a transaction after which no usable reply came: the camera stayed silent (or the
// line failed), so a replay stays silent too.
bool isNoReply(uint32_t result) {
    return result == protocol::kErrPortIo || result == protocol::kErrLibraryLineIo;
}
// Results of a transaction that never reached the line: nothing to record.
bool isNotSent(uint32_t result) {
    return result == protocol::kErrGrabberLibrary || result == protocol::kErrLibraryArgument ||
           result == protocol::kErrLibraryHandle;
}
// A reply came but failed its checksum: nothing of it reached the caller.
bool isBadChecksum(uint32_t result) {
    return result == protocol::kErrChecksum || result == protocol::kErrLibraryChecksum;
}

// The telegram as it went out: with its checksum when the length field leaves room for one.
recording::Bytes sentTelegram(const uint8_t* command, uint32_t size) {
    recording::Bytes bytes(command, command + size);
    if (size < 4) return bytes;
    const uint32_t length = protocol::readU16(command + 2);
    if (length < protocol::kTelegramMin || length > protocol::kTelegramMax || length - 1 > size)
        return bytes;
    bytes.assign(command, command + (length - 1));
    bytes.push_back(protocol::checksumOf(command, length - 1));
    return bytes;
}

// What of the reply the caller received: its header and payload, cut to the capacity.
recording::Bytes receivedReply(const uint8_t* reply, uint32_t capacity) {
    if (reply == nullptr || capacity == 0) return {};
    uint32_t count = capacity;
    if (capacity >= 4) {
        const uint32_t length = protocol::readU16(reply + 2);
        if (length >= protocol::kTelegramMin) count = std::min(length - 1, capacity);
    }
    return recording::Bytes(reply, reply + count);
}

}  // namespace

std::unique_ptr<SessionRecorder> SessionRecorder::create(const std::string& path,
                                                         const Setup& setup,
                                                         platform::Clock& clock,
                                                         std::string& error) {
    auto writer = recording::RecordingWriter::create(path, error);
    if (!writer) return nullptr;
    std::unique_ptr<SessionRecorder> recorder(new SessionRecorder(std::move(writer), clock));
    recording::Event header;
    header.kind = recording::EventKind::Header;
    header.program = setup.program;
    header.version = setup.version;
    header.interface = setup.interface;
    header.port = setup.port;
    header.device = setup.device;
    header.grabber = setup.grabber;
    header.rates = setup.rates;
    header.start = setup.start.empty() ? startTime() : setup.start;
    if (!recorder->writer_->write(header)) {
        error = "cannot write the recording " + path;
        return nullptr;
    }
    return recorder;
}

SessionRecorder::SessionRecorder(std::unique_ptr<recording::RecordingWriter> writer,
                                 platform::Clock& clock)
    : writer_(std::move(writer)), clock_(clock), started_(clock.now()) {}

std::string SessionRecorder::startTime() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    char text[32] = {};
    if (gmtime_r(&now, &utc) != nullptr) std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

uint64_t SessionRecorder::elapsed() const {
    const auto ms = (clock_.now() - started_).count();
    return ms < 0 ? 0 : uint64_t(ms);
}

void SessionRecorder::write(recording::Event event) {
    if (event.ms == 0) event.ms = elapsed();
    writer_->write(event);
}

void SessionRecorder::opened(int port) {
    recording::Event e;
    e.kind = recording::EventKind::Open;
    e.port = port;
    write(std::move(e));
}

void SessionRecorder::closed() {
    recording::Event e;
    e.kind = recording::EventKind::Close;
    write(std::move(e));
}

void SessionRecorder::flushed() {
    recording::Event e;
    e.kind = recording::EventKind::Flush;
    write(std::move(e));
}

void SessionRecorder::rebooting() {
    recording::Event e;
    e.kind = recording::EventKind::Reboot;
    write(std::move(e));
}

void SessionRecorder::rateChanged(uint32_t rate, uint32_t result) {
    recording::Event e;
    e.kind = recording::EventKind::Rate;
    e.rate = rate;
    e.result = result;
    write(std::move(e));
}

void SessionRecorder::exchange(uint64_t sentMs, const uint8_t* command, uint32_t size,
                               const uint8_t* reply, uint32_t capacity, uint32_t result) {
    if (isNotSent(result) || command == nullptr) return;
    recording::Event sent;
    sent.kind = recording::EventKind::Sent;
    sent.ms = sentMs;
    sent.bytes = sentTelegram(command, size);
    writer_->write(sent);

    recording::Event answer;
    answer.ms = elapsed();
    answer.result = result;
    if (isNoReply(result)) {
        answer.kind = recording::EventKind::Timeout;
    } else {
        answer.kind = recording::EventKind::Reply;
        if (!isBadChecksum(result)) answer.bytes = receivedReply(reply, capacity);
    }
    writer_->write(answer);
}

}  // namespace camera

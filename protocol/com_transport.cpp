#include "protocol/com_transport.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <climits>
#include <cstring>

#include "platform/com_port.h"
#include "protocol/commands.h"
#include "protocol/reply_fields.h"
#include "protocol/reply_reader.h"

namespace protocol {

namespace {

using std::chrono::milliseconds;

constexpr uint32_t kIntervalMs = 30;
constexpr uint32_t kTransactionPerByteMs = 20;
// Once debug text came, the rest of the transaction waits only this long beyond the per-byte time.
constexpr uint32_t kAfterDebugConstantMs = 100;

// Between transactions: generous per-byte time for a slow camera.
constexpr platform::SerialTimeouts kIdleTimeouts{kIntervalMs, 200, 500, 200, 500};

// More than a 115200 baud line delivers between two passes, so every pass takes all that waits.
constexpr size_t kDrainChunk = 4096;
constexpr milliseconds kDrainPause{100};

// The port's reads with the transport's log lines; debug text shortens the read time-out.
class ComReplySource : public ByteSource {
public:
    ComReplySource(platform::SerialLine& port, LogSink& log, platform::SerialTimeouts& timeouts,
                   Variant variant)
        : port_(port), log_(log), timeouts_(timeouts), variant_(variant) {}

    bool read(ReadPart part, uint8_t* buffer, size_t offset, size_t count, size_t& got) override {
        if (port_.read(buffer + offset, count, got) != 0) {
            log_.log("ERROR: ReadFile Com size:%d", int(count));
            return false;
        }
        if (part == ReadPart::Header) logHeader(buffer, got);
        if (part == ReadPart::Body) log_.log("ReadFile Com size:%d done %d", int(count), int(got));
        return true;
    }
    void debugTextSkipped(const uint8_t* header) override {
        timeouts_.readTotalConstantMs = kAfterDebugConstantMs;
        port_.setTimeouts(timeouts_);
        log_.log("Remove Debug command 0x%x, size %d", readU16(header), int(readU16(header + 2)));
    }
    void replyHeaderTaken(const uint8_t* header, size_t got) override {
        if (variant_ == Variant::Library) logHeader(header, got);
    }

private:
    void logHeader(const uint8_t* header, size_t got) {
        log_.log("ReadFile Com 0x%x 0x%x size:%d done %d", readU16(header), readU16(header + 2),
                 int(kReplyHeaderSize), int(got));
    }

    platform::SerialLine& port_;
    LogSink& log_;
    platform::SerialTimeouts& timeouts_;
    Variant variant_;
};

}  // namespace

ComTransport::ComTransport(Variant variant, LogSink& log, platform::Clock& clock)
    : ComTransport(variant, log, clock, platform::makeSerialPort()) {}

ComTransport::ComTransport(Variant variant, LogSink& log, platform::Clock& clock,
                           std::unique_ptr<platform::SerialLine> port)
    : variant_(variant), log_(log), clock_(clock), port_(std::move(port)) {}

ComTransport::~ComTransport() {
    close();
}

void ComTransport::applySettings(uint32_t baudRate) {
    // The time-outs are ours, not the driver's: without them a read could wait for ever.
    // Queue sizes have no counterpart on a terminal; the kernel's buffers are larger.
    port_->setTimeouts(kIdleTimeouts);
    if (port_->configure(baudRate) != 0)
        return;
    port_->purge();
}

ErrorCode ComTransport::openByIndex(int portIndex, int identifiedPortNumber) {
    const int64_t portNumber = int64_t(portIndex) + 1;
    if (identifiedPortNumber < 1 || identifiedPortNumber != portNumber)
        close();
    if (!port_->isOpen()) {
        if (portNumber < 1 || portNumber > INT_MAX)
            return kErrPortIndex;
        const std::string path =
            device_.empty() ? platform::comPortPath(int(portNumber)) : device_;
        if (port_->open(path) != 0)
            return kErrPortIndex;
        portPath_ = path;
        applySettings(kProgrammerBaudRate);
    }
    debugOff();
    return kOk;
}

ErrorCode ComTransport::identifyCamera(uint8_t* reply, uint32_t capacity) {
    const Request request = simpleRequest(cmd::GET_CAMERA_TYPE);
    const ErrorCode result =
        transaction(request.data(), request.size, reply, capacity, timeout::GET_CAMERA_TYPE);
    if (result != kOk)
        log_.log("GET_CAMERA_TYPE returned error %d \n", int(result));
    return result;
}

ErrorCode ComTransport::openLibrary(int portNumber, uint32_t baudRate) {
    close();
    const std::string path = platform::comPortPath(portNumber);
    if (port_->open(path) != 0) {
        log_.log("Error open Comport\n");
        return kErrLibraryPortOpen;
    }
    portPath_ = path;
    return configureAndIdentify(baudRate, true);
}

ErrorCode ComTransport::configureAndIdentify(uint32_t baudRate, bool debugOffAfter) {
    if (port_->isOpen())
        applySettings(baudRate);
    std::array<uint8_t, cap::GET_CAMERA_TYPE> reply{};
    const ErrorCode result = identifyCamera(reply.data(), uint32_t(reply.size()));
    if (result != kOk)
        return result;
    if (debugOffAfter)
        debugOff();
    const CameraTypeReply identity =
        cameraTypeOf(reply.data(), uint32_t(reply.size())).value_or(CameraTypeReply{});
    log_.log("CAMERA_TYPE: %x SerialNumber %d \n", identity.type, int(identity.serialNumber));
    return kOk;
}

ErrorCode ComTransport::portTest(int portNumber) {
    const std::unique_ptr<platform::SerialLine> port = platform::makeSerialPort();
    return port->open(platform::comPortPath(portNumber)) == 0 ? kOk : kErrLibraryPortOpen;
}

int ComTransport::close() {
    port_->close();
    portPath_.clear();
    return 1;
}

ErrorCode ComTransport::drain(platform::Milliseconds bound) {
    if (!port_->isOpen())
        return kOk;
    const platform::Milliseconds start = clock_.now();
    size_t drained = 0;
    for (;;) {
        size_t waiting = 0;
        if (port_->bytesWaiting(waiting) != 0)
            return kErrPortIo;
        if (waiting == 0)
            return kOk;
        while (waiting > 0) {
            std::array<uint8_t, kDrainChunk> scratch;
            size_t got = 0;
            if (port_->read(scratch.data(), std::min(waiting, scratch.size()), got) != 0)
                return kErrPortIo;
            log_.log("Check ReadFile size:%d", int(got));
            if (got == 0)
                break;
            drained += got;
            waiting -= std::min(waiting, got);
        }
        // A camera that never stops sending would keep the drain going for ever.
        if (clock_.now() - start >= bound) {
            log_.log("Drain stopped after %u bytes: input keeps arriving", unsigned(drained));
            return kOk;
        }
        clock_.sleepFor(kDrainPause);
    }
}

ErrorCode ComTransport::debugOff() {
    const Request request = verboseOff();
    const ErrorCode result =
        transaction(request.data(), request.size, nullptr, 0, timeout::TEXT_COMMAND);
    drain();
    return result;
}

ErrorCode ComTransport::transaction(const uint8_t* command, uint32_t size, uint8_t* reply,
                                    uint32_t capacity, uint32_t timeoutMs) {
    platform::SerialTimeouts timeouts{kIntervalMs, kTransactionPerByteMs, timeoutMs,
                                      kTransactionPerByteMs, timeoutMs};
    // A command that does not fit the working buffer is never built, let alone sent.
    if (size > kTelegramMax || (command == nullptr && size != 0)) {
        log_.log("ERROR: command size %u exceeds %u bytes", unsigned(size), unsigned(kTelegramMax));
        return checksumError(variant_);
    }
    drain();

    std::array<uint8_t, kTelegramMax> buffer{};
    if (size != 0)
        std::memcpy(buffer.data(), command, size);
    const uint16_t commandCode = readU16(&buffer[0]);
    uint32_t length = size;
    // The checksum byte of a length field beyond the buffer would land outside it.
    ErrorCode result = readU16(&buffer[2]) <= kTelegramMax
                           ? add_checksum(buffer.data(), length, variant_)
                           : checksumError(variant_);

    port_->setTimeouts(timeouts);

    size_t written = 0;
    int error = port_->write(buffer.data(), length, written);
    if (error != 0 || (written == 0 && length != 0)) {
        log_.log("ERROR: WriteFile Com size %d ", int(length));
        return kErrPortIo;
    }
    log_.log("WriteFile Com size %d done %d", int(length), int(written));
    for (size_t sent = written; sent < length; sent += written) {
        const size_t remaining = length - sent;
        error = port_->write(buffer.data() + sent, remaining, written);
        if (error != 0 || written == 0) {
            log_.log("ERROR: WriteFile Com size:%d", int(remaining));
            return kErrPortIo;
        }
        log_.log("WriteFile to Com size %d done %d", int(remaining), int(written));
    }

    ComReplySource source(*port_, log_, timeouts, variant_);
    size_t held = 0;
    if (!readReply(source, comPortReaderRules(variant_), buffer.data(), held))
        return kErrPortIo;
    return validateReply(buffer.data(), held, commandCode, reply, capacity, result, variant_, log_);
}

}  // namespace protocol

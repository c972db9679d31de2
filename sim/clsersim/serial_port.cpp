#include "sim/clsersim/serial_port.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>
#include <thread>

namespace clsersim {

namespace {

uint64_t nowMs() {
    using namespace std::chrono;
    return uint64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

uint32_t leftMs(uint64_t deadline) {
    const uint64_t now = nowMs();
    return now >= deadline ? 0 : uint32_t(std::min<uint64_t>(deadline - now, 0x7FFFFFFF));
}

std::mutex tableMutex;
// The open references. A host may close its ports from its own exit-time clean-up, after this
// object was destroyed; the flag (static storage, never destroyed) turns those calls into
// no-ops instead of touching a dead map. The process's exit closes the sockets anyway.
bool tableGone = false;
struct Table {
    std::map<void*, std::shared_ptr<SerialPort>> ports;
    ~Table() { tableGone = true; }
} table;

}  // namespace

std::shared_ptr<SerialPort> SerialPort::open(uint32_t index, int32_t& error) {
    const std::string name = "CLSERSIM_PORT" + std::to_string(index);
    const char* address = std::getenv(name.c_str());
    std::string host;
    uint16_t port = 0;
    error = clerr::kInvalidIndex;
    if (!address || !SocketChannel::parseAddress(address, host, port))
        return nullptr;
    std::shared_ptr<SerialPort> serial(new SerialPort(address));
    if (!serial->channel_.open(serial->address_))
        return nullptr;
    error = clerr::kNone;
    return serial;
}

uint32_t SerialPort::supportedMask() {
    const char* text = std::getenv("CLSERSIM_BAUDRATES");
    if (!text || !*text)
        return kDefaultBaudMask;
    char* end = nullptr;
    const unsigned long mask = std::strtoul(text, &end, 0);
    return *end == '\0' ? uint32_t(mask & 0xFF) : kDefaultBaudMask;
}

uint32_t SerialPort::baud() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return baud_;
}

void SerialPort::drainSocket() {
    uint8_t chunk[4096];
    Bytes& heard = scratch_;
    heard.clear();
    while (channel_.isOpen()) {
        const long n = channel_.receive(chunk, sizeof chunk);
        if (n <= 0)
            break;
        if (!receiver_.feed(chunk, size_t(n), heard))
            channel_.close();  // not a line end
        // Less than asked for: the socket held no more just now (what comes later is waited for
        // by the caller), which saves asking again only to hear that nothing is there.
        if (size_t(n) < sizeof chunk)
            break;
    }
    heard_.insert(heard_.end(), heard.begin(), heard.end());
}

int32_t SerialPort::read(char* buffer, uint32_t* count, uint32_t timeoutMs) {
    std::lock_guard<std::mutex> lock(mutex_);
    const uint64_t deadline = nowMs() + timeoutMs;
    pushUnsent(deadline);
    const size_t wanted = *count;
    size_t done = 0;
    // What was heard before counts first; the socket is read after each wait, and once more
    // when the time is up.
    for (bool last = false;; drainSocket()) {
        const size_t n = std::min(wanted - done, heard_.size());
        std::copy_n(heard_.begin(), n, buffer + done);
        heard_.erase(heard_.begin(), heard_.begin() + long(n));
        done += n;
        *count = uint32_t(done);
        if (done == wanted)
            return clerr::kNone;
        if (last)
            return clerr::kTimeout;
        const uint32_t left = leftMs(deadline);
        last = left == 0;
        if (last)
            continue;
        // A lost connection is a dead line: nothing more arrives before the time-out. Every byte
        // still missing needs at least one socket byte beyond an incomplete frame's, so the
        // wait can ask for that many at once.
        const size_t missing = wanted - done;
        const size_t held = receiver_.heldBack();
        if (channel_.isOpen())
            channel_.waitReadable(left, missing > held ? missing - held : 1);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(left));
    }
}

bool SerialPort::pushUnsent(uint64_t deadlineMs) {
    while (!unsent_.empty()) {
        const long n = channel_.send(unsent_.data(), unsent_.size());
        if (n < 0) {
            unsent_.clear();  // the line is dead: the bytes go nowhere
            return true;
        }
        unsent_.erase(unsent_.begin(), unsent_.begin() + n);
        if (unsent_.empty())
            break;
        const uint32_t left = leftMs(deadlineMs);
        if (left == 0)
            return false;
        channel_.waitWritable(left);
    }
    return true;
}

int32_t SerialPort::write(const char* buffer, uint32_t* count, uint32_t timeoutMs) {
    std::lock_guard<std::mutex> lock(mutex_);
    const uint64_t deadline = nowMs() + timeoutMs;
    if (!channel_.isOpen() && channel_.open(address_)) {
        // The camera is back (camsim restarted): a new line, nothing old on it.
        receiver_.reset();
        heard_.clear();
        unsent_.clear();
    }
    const size_t wanted = *count;
    *count = 0;
    if (!pushUnsent(deadline))
        return clerr::kTimeout;
    const auto* data = reinterpret_cast<const uint8_t*>(buffer);
    for (size_t done = 0; done < wanted;) {
        const size_t n = std::min(wanted - done, kMaxFrameBytes);
        appendFrames(unsent_, baud_, data + done, n);
        const size_t frameSize = unsent_.size();
        const bool sent = pushUnsent(deadline);
        // A frame the socket took in part is finished at the next call, so its bytes are on
        // their way; one it took nothing of is dropped.
        if (!sent && unsent_.size() == frameSize) {
            unsent_.clear();
            return clerr::kTimeout;
        }
        done += n;
        *count = uint32_t(done);
        if (!sent)
            return done == wanted ? clerr::kNone : clerr::kTimeout;
    }
    return clerr::kNone;
}

int32_t SerialPort::flush() {
    std::lock_guard<std::mutex> lock(mutex_);
    drainSocket();
    heard_.clear();
    return clerr::kNone;
}

int32_t SerialPort::setBaudRate(uint32_t bitValue) {
    std::lock_guard<std::mutex> lock(mutex_);
    int bit = -1;
    for (int i = 0; i < 8; ++i)
        if (bitValue == 1u << i)
            bit = i;
    if (bit < 0 || !(supportedMask() & bitValue))
        return clerr::kBaudRateNotSupported;
    drainSocket();  // what has arrived was received at the old rate
    baud_ = kCameraLinkRates[bit];
    receiver_.setBaud(baud_);
    return clerr::kNone;
}

void* PortTable::add(std::shared_ptr<SerialPort> port) {
    std::lock_guard<std::mutex> lock(tableMutex);
    if (tableGone)
        return nullptr;
    void* reference = port.get();
    table.ports[reference] = std::move(port);
    return reference;
}

std::shared_ptr<SerialPort> PortTable::find(void* reference) {
    std::lock_guard<std::mutex> lock(tableMutex);
    if (tableGone)
        return nullptr;
    const auto it = table.ports.find(reference);
    return it == table.ports.end() ? nullptr : it->second;
}

bool PortTable::remove(void* reference) {
    std::lock_guard<std::mutex> lock(tableMutex);
    return !tableGone && table.ports.erase(reference) > 0;
}

}  // namespace clsersim

#pragma once
// The camera's Camera Link serial line, as a TCP socket on 127.0.0.1 that libclsersim (the
// simulated frame grabber) connects to. One client at a time: a new connection replaces the old
// one, whose unread answers and unheard input are dropped, as when a grabber's port is opened
// afresh. Bytes travel in the rate-carrying frames of clsersim/line_frame.h: the camera hears
// the grabber only while both use the same rate (bytes at another rate are framing errors: it
// drops them and the telegram it was receiving), and its answers carry the rate in force when
// they were made, so the reply to SET_CL_BAUDRATE still goes out at the old rate. Paced, the
// line time of each byte follows the rate in force.

#include <poll.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>

#include "sim/clsersim/line_frame.h"
#include "sim/output_queue.h"
#include "sim/telegram_reader.h"

namespace sim {

class CamLinkEndpoint {
public:
    using Clock = std::chrono::steady_clock;

    // Listens on 127.0.0.1:`port` (0: any free port). Null with `error` on failure.
    static std::unique_ptr<CamLinkEndpoint> create(uint16_t port, uint32_t baud, bool paced,
                                                   std::string& error);
    ~CamLinkEndpoint();
    CamLinkEndpoint(const CamLinkEndpoint&) = delete;
    CamLinkEndpoint& operator=(const CamLinkEndpoint&) = delete;

    uint16_t port() const { return port_; }
    // Counts the clients taken so far: an answer made for one client is not sent to the next.
    uint64_t client() const { return clients_; }
    uint32_t baud() const { return baud_; }

    // The two descriptors to poll (listening socket, client or -1) with their events.
    pollfd listenPoll() const { return {listenFd_, POLLIN, 0}; }
    pollfd clientPoll(Clock::time_point now) const;
    // Takes a new client (replacing the old one).
    void acceptClient();
    // Reads from the client; what the camera hears goes to the telegram reader if `hearing`.
    void readClient(Clock::time_point now, bool hearing);
    // Writes what is due to the client.
    void writeClient(Clock::time_point now);

    TelegramReader& reader() { return reader_; }
    // What the paced line delivered so far.
    const LineCheck& lineCheck() const { return output_.check(); }
    void push(const Bytes& bytes, Clock::time_point now);
    // Replay: hear the client at whatever rate it sends and answer at the rate it last used.
    void followClient();
    // The camera's rate becomes `baud` once the bytes queued so far have gone out.
    void followRate(uint32_t baud);
    // When something is due next (pacing, a stale partial telegram), if ever.
    std::optional<Clock::time_point> wakeTime(Clock::time_point now, bool listening) const;

private:
    CamLinkEndpoint(int listenFd, uint16_t port, uint32_t baud, bool paced);
    void dropClient();
    void setRate(uint32_t baud);
    // Applies the rate switches whose bytes have all gone out.
    void applyDueSwitches();

    int listenFd_;
    int clientFd_ = -1;
    uint64_t clients_ = 0;
    uint16_t port_;
    uint32_t baud_;
    bool paced_;
    bool followClient_ = false;
    clsersim::LineReceiver receiver_;
    TelegramReader reader_;
    OutputQueue output_;
    clsersim::Bytes unsent_;  // framed bytes the socket has not taken yet
    // Bytes ever queued and ever framed, and the rate switches waiting for their position in
    // that count (the reply to SET_CL_BAUDRATE goes out before its switch).
    uint64_t queued_ = 0;
    uint64_t framed_ = 0;
    std::deque<std::pair<uint64_t, uint32_t>> switches_;
};

}  // namespace sim

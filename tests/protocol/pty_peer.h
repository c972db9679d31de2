#pragma once
// A scripted camera on the master side of a pseudo terminal: it collects the command telegrams
// the transport sends and answers each through a handler the test gives. It can also flood the
// line without pause.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

using Bytes = std::vector<uint8_t>;

// A telegram with the length field and checksum filled in.
Bytes telegram(uint16_t code, const Bytes& payload = {});
// An error reply carrying `error` for the command `code`.
Bytes errorReply(uint16_t code, uint32_t error);

class PtyPeer {
public:
    using Handler = std::function<void(PtyPeer& peer, const Bytes& command)>;

    PtyPeer();
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    // The slave side's path, to be handed to the transport through QEL_COM<n>.
    const std::string& path() const { return path_; }
    void setHandler(Handler handler);
    void send(const Bytes& bytes);
    void flood(bool on) { flooding_ = on; }
    std::vector<Bytes> commands() const;

private:
    void run();

    int master_ = -1;
    int heldSlave_ = -1;  // keeps the master from seeing a hang-up between opens
    std::string path_;
    mutable std::mutex mutex_;
    Handler handler_;
    std::vector<Bytes> commands_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> flooding_{false};
    std::thread thread_;
};

}  // namespace testing_support

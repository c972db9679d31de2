#pragma once
// The camera's end of the serial line: a pseudo terminal whose slave is the port that clients
// open. camsim keeps a slave descriptor of its own, so the pty stays raw and usable while no
// client has it open (otherwise the master sees hang-ups and the settings are reset).

#include <memory>
#include <string>

namespace sim {

class PtyEndpoint {
public:
    // A raw (no echo, 8 bit) pty, master non-blocking. Null with `error` on failure.
    static std::unique_ptr<PtyEndpoint> create(std::string& error);
    ~PtyEndpoint();
    PtyEndpoint(const PtyEndpoint&) = delete;
    PtyEndpoint& operator=(const PtyEndpoint&) = delete;

    int masterFd() const { return master_; }
    const std::string& slavePath() const { return slavePath_; }

private:
    PtyEndpoint(int master, int slave, std::string path);

    int master_;
    int slave_;
    std::string slavePath_;
};

// A symlink to the port under a fixed name. An existing symlink there is replaced; anything
// else is left alone and refused. The link is removed again when this object goes, if it still
// points at the port.
class PortLink {
public:
    static std::unique_ptr<PortLink> create(const std::string& linkPath,
                                            const std::string& target, std::string& error);
    ~PortLink();
    PortLink(const PortLink&) = delete;
    PortLink& operator=(const PortLink&) = delete;

private:
    PortLink(std::string linkPath, std::string target);

    std::string linkPath_;
    std::string target_;
};

}  // namespace sim

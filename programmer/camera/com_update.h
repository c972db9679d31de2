#pragma once
// The camera link over a PC serial port: the COM-port transport of the programmer plus the camera
// identification that follows each open.

#include <cstdint>
#include <string>

#include "platform/clock.h"
#include "programmer/camera/cam_update.h"
#include "protocol/com_transport.h"
#include "protocol/log_sink.h"

namespace camera {

constexpr uint32_t kComPortBaudRate = protocol::kProgrammerBaudRate;

class CComUpdate : public CCamUpdate {
public:
    // `device`: the serial device Open uses for every index (empty: the index's COM port).
    CComUpdate(bool emergencyMode, protocol::LogSink& log, platform::Clock& clock,
               const std::string& device = "");
    ~CComUpdate() override;

    ErrorCode Command(const uint8_t* command, uint32_t size, uint8_t* reply, uint32_t capacity,
                      uint32_t timeoutMs) override;
    // Opens the 0-based port index and identifies the camera behind it.
    ErrorCode Open(int portIndex) override;
    ErrorCode Close() override;
    ErrorCode FlushInput() override;
    ErrorCode Reboot(WaitHost& host) override;

    // The identification after an open: finds a camera (normal or boot mode) or none, and records
    // what it learnt in the link's state. Runs over Command, so it works on any open channel.
    ErrorCode identify(int portIndex);

    uint32_t baudRate = kComPortBaudRate;

private:
    protocol::ComTransport transport_;
};

}  // namespace camera

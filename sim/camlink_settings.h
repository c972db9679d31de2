#pragma once
// The camera's Camera Link settings and the commands that read and change them: the serial
// line's baud rate, the link configuration (pixel clock, CC line, data format, transmit), the
// interface output format, and ARM_CAMERA.

#include <cstdint>
#include <optional>

#include "sim/options.h"
#include "sim/reply_builder.h"

namespace sim {

class CamLinkSettings {
public:
    explicit CamLinkSettings(const SimOptions& options);

    // The reply if `code` is one of these commands, else nothing.
    std::optional<Bytes> handle(uint16_t code, const Bytes& telegram);
    // After a reboot or a power loss the serial line is back at its start rate; the rest is
    // kept, as the camera stores it.
    void restart() { baud_ = startBaud_; }
    uint32_t baud() const { return baud_; }

private:
    Bytes baudRate(uint16_t code, const Bytes& telegram);
    Bytes configuration(uint16_t code, const Bytes& telegram);
    Bytes outputFormat(uint16_t code, const Bytes& telegram);

    const uint32_t startBaud_;
    const bool knowsOutputFormat_;
    uint32_t baud_;
    uint32_t clock_ = 85000000;
    uint8_t ccLine_ = 0;
    uint8_t dataFormat_ = 1;
    uint8_t transmit_ = 0;
    uint16_t outputFormat_ = 0;
};

}  // namespace sim

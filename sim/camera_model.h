#pragma once
// What the camera does with a received command telegram: the answer, the time it works before
// answering, and the time it is gone afterwards (reboot, power loss).

#include <chrono>
#include <cstdint>

#include "sim/camlink_settings.h"
#include "sim/device_session.h"
#include "sim/faults.h"
#include "sim/flash_device.h"
#include "sim/options.h"
#include "sim/reply_builder.h"

namespace sim {

struct Reaction {
    Bytes bytes;                              // sent in this order (debug texts, reply)
    std::chrono::milliseconds workTime{0};    // silent before the first byte
    std::chrono::milliseconds offlineTime{0}; // deaf and silent after the bytes were queued
    bool offlineForever = false;
};

class CameraModel {
public:
    CameraModel(const SimOptions& options, DeviceStore& store);

    // A complete telegram with a correct checksum.
    Reaction handle(const Bytes& telegram);
    // A complete telegram whose checksum byte is wrong.
    Reaction handleBadChecksum(const Bytes& telegram);

    bool bootMode() const { return bootMode_; }
    // The Camera Link rate the camera's serial line is set to.
    uint32_t clBaud() const { return camLink_.baud(); }

private:
    Bytes dispatch(uint16_t code, const Bytes& telegram, Reaction& reaction);
    Bytes cameraType(uint16_t code) const;
    Bytes cameraInfo(uint16_t code) const;
    Bytes textCommand(uint16_t code, const Bytes& telegram);
    Bytes firmwareVersions(uint16_t code, const Bytes& telegram);
    Bytes reboot(uint16_t code, Reaction& reaction);
    Bytes deviceCommand(const Bytes& telegram, Reaction& reaction);
    void saveState();
    // Applies the reply faults of `code` and puts the debug texts in front.
    void finish(uint16_t code, Bytes reply, Reaction& reaction);

    const SimOptions& options_;
    DeviceStore& store_;
    Faults faults_;  // a copy: counted faults are used up
    DeviceSession session_;
    bool bootMode_;
    bool debugOn_;
    CamLinkSettings camLink_;
    uint32_t debugCounter_ = 0;
};

}  // namespace sim

#pragma once
// The flash device commands: one device open at a time, erase, block writes and reads, and the
// camera's own byte-sum check.

#include <cstdint>

#include "sim/faults.h"
#include "sim/flash_device.h"
#include "sim/reply_builder.h"

namespace sim {

class DeviceSession {
public:
    DeviceSession(DeviceStore& store, Faults& faults);

    static bool handles(uint16_t code);

    struct Outcome {
        Bytes reply;              // empty when the power failed
        bool erased = false;      // a successful erase (takes the erase time)
        bool powerLost = false;   // the camera lost power before it could answer
        bool closed = false;      // a device was closed
        bool silenced = false;    // the camera hangs: no answer now or ever
    };
    // `telegram` holds `length` bytes with a correct checksum. In boot mode only the main
    // microcontroller can be opened.
    Outcome handle(const uint8_t* telegram, size_t length, bool bootMode);

    // Reboot and power loss: nothing stays open.
    void closeAll();
    int openRow() const { return openRow_; }

private:
    Bytes open(uint16_t code, int row, bool bootMode);
    Bytes write(uint16_t code, const uint8_t* telegram, size_t length, Outcome& out);
    Bytes read(uint16_t code, const uint8_t* telegram, size_t length);
    Bytes setChecksum(const uint8_t* telegram, size_t length);
    // Is `code` a write or read command that the open device takes?
    bool accepts(uint16_t code) const;

    DeviceStore& store_;
    Faults& faults_;
    int openRow_ = -1;
    int writesSinceOpen_ = 0;
    int readsSinceOpen_ = 0;
    uint32_t checksumFirst_ = 0;
    uint32_t checksumLast_ = 0;
    uint32_t checksumSum_ = 0;
};

}  // namespace sim

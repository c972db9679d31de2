#pragma once
// The contents of the camera's five programmable devices and where they are kept between runs.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim {

constexpr int kDeviceCount = 5;
constexpr int kRowMainUp = 0;
constexpr int kRowMainFpga = 1;
constexpr int kRowEeprom = 2;
constexpr int kRowPll = 3;
constexpr int kRowHeadFpga = 4;

constexpr size_t kVersionBlockSize = 10;

// How one device behaves. Rows are the device numbers used everywhere in the system.
struct DeviceInfo {
    const char* recordName;   // name in the firmware records
    const char* stateFile;    // file in the state folder
    uint16_t openCode;
    uint32_t baseAddress;     // device address of content byte 0
    uint32_t size;
    bool nor;                 // writes can only clear bits (flash); else a write replaces
    uint32_t versionOffset;   // content offset of the 10-byte version block
};

extern const std::array<DeviceInfo, kDeviceCount> kDevices;

// Version block as it sits in a device: minor, major, u16 variant, hour, minute, day, month,
// u16 year.
struct VersionBlock {
    uint8_t minor = 0;
    uint8_t major = 0;
    uint16_t variant = 0;
};

class FlashDevice {
public:
    explicit FlashDevice(const DeviceInfo& info);

    const DeviceInfo& info() const { return info_; }
    const std::vector<uint8_t>& content() const { return content_; }

    // Content offset of a device address range [first, last], or nothing when it is outside.
    std::optional<uint32_t> offsetOf(uint32_t first, uint32_t last) const;

    void erase();
    // Writes `count` bytes at a content offset that offsetOf() accepted: ANDed into NOR flash,
    // replacing elsewhere.
    void write(uint32_t offset, const uint8_t* data, uint32_t count);
    // Replaces content bytes whatever the kind of memory (set-up and state loading).
    void replace(uint32_t offset, const uint8_t* data, uint32_t count);

    // The device's version block, or nothing when it is erased (all 0xFF).
    std::optional<VersionBlock> versionBlock() const;
    void writeVersionBlock(const VersionBlock& version);
    // From now on the device holds plain data: its version is kept apart from its contents (as
    // the camera's own record of it), set by writeVersionBlock and unchanged by programming.
    void keepVersionApart() { versionApart_ = true; }

    bool dirty() const { return dirty_; }
    void markClean() { dirty_ = false; }

private:
    const DeviceInfo& info_;
    std::vector<uint8_t> content_;
    bool dirty_ = false;
    bool versionApart_ = false;
    std::optional<VersionBlock> apartVersion_;
};

// The five devices, optionally backed by a state folder with one file per device.
class DeviceStore {
public:
    DeviceStore();

    FlashDevice& device(int row) { return devices_[size_t(row)]; }
    const FlashDevice& device(int row) const { return devices_[size_t(row)]; }

    // Uses `folder` for the contents: creates it when missing and loads the files that exist.
    // A file of the wrong size is refused (and left untouched). Returns false with `error`.
    bool attachStateFolder(const std::string& folder, std::string& error);
    // Writes the devices changed since the last save; does nothing without a state folder.
    bool saveChanged(std::string& error);
    bool anyChanged() const;
    // Changes that a save would write: none without a state folder, whatever changed.
    bool unsaved() const { return !folder_.empty() && anyChanged(); }

private:
    std::vector<FlashDevice> devices_;
    std::string folder_;
};

}  // namespace sim

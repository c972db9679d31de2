#include "sim/flash_device.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "protocol/telegram.h"

namespace sim {

const std::array<DeviceInfo, kDeviceCount> kDevices = {{
    {"Main uP", "main_up.bin", 0x7003, 0x80000000u, 1u << 20, true, 0xF7FE0},
    {"Main FPGA", "main_fpga.bin", 0x7103, 0, 4u << 20, true, 0},
    {"EEPROM", "eeprom.bin", 0x7203, 0, 448, false, 0},
    {"Main PLL", "main_pll.bin", 0x7403, 0, 448, false, 0x10},
    {"Head FPGA", "head_fpga.bin", 0x7303, 0, 4u << 20, true, 0},
}};

FlashDevice::FlashDevice(const DeviceInfo& info) : info_(info), content_(info.size, 0xFF) {}

std::optional<uint32_t> FlashDevice::offsetOf(uint32_t first, uint32_t last) const {
    if (last < first || first < info_.baseAddress) return std::nullopt;
    const uint64_t offset = uint64_t(first) - info_.baseAddress;
    const uint64_t end = uint64_t(last) - info_.baseAddress;
    if (end >= info_.size) return std::nullopt;
    return uint32_t(offset);
}

void FlashDevice::erase() {
    std::fill(content_.begin(), content_.end(), 0xFF);
    dirty_ = true;
}

void FlashDevice::write(uint32_t offset, const uint8_t* data, uint32_t count) {
    if (!info_.nor) {
        replace(offset, data, count);
        return;
    }
    for (uint32_t i = 0; i < count; ++i) content_[offset + i] &= data[i];
    dirty_ = true;
}

void FlashDevice::replace(uint32_t offset, const uint8_t* data, uint32_t count) {
    std::memcpy(&content_[offset], data, count);
    dirty_ = true;
}

std::optional<VersionBlock> FlashDevice::versionBlock() const {
    if (versionApart_) return apartVersion_;
    const uint8_t* block = &content_[info_.versionOffset];
    if (std::all_of(block, block + kVersionBlockSize, [](uint8_t b) { return b == 0xFF; }))
        return std::nullopt;
    return VersionBlock{block[0], block[1], protocol::readU16(block + 2)};
}

void FlashDevice::writeVersionBlock(const VersionBlock& version) {
    if (versionApart_) {
        apartVersion_ = version;
        return;
    }
    // A fixed time stamp: 12:00, 1 January 2024.
    uint8_t block[kVersionBlockSize] = {version.minor, version.major, 0, 0, 12, 0, 1, 1, 0, 0};
    protocol::writeU16(block + 2, version.variant);
    protocol::writeU16(block + 8, 2024);
    replace(info_.versionOffset, block, kVersionBlockSize);
}

DeviceStore::DeviceStore() {
    devices_.reserve(kDeviceCount);
    for (const DeviceInfo& info : kDevices) devices_.emplace_back(info);
}

bool DeviceStore::attachStateFolder(const std::string& folder, std::string& error) {
    if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
        error = "cannot create state folder " + folder + ": " + std::strerror(errno);
        return false;
    }
    struct stat st{};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        error = "state folder " + folder + " is not a folder";
        return false;
    }
    // Check every file before taking any, so a bad folder changes nothing.
    std::vector<std::vector<uint8_t>> loaded(kDeviceCount);
    for (int row = 0; row < kDeviceCount; ++row) {
        const std::string path = folder + "/" + kDevices[size_t(row)].stateFile;
        std::ifstream in(path, std::ios::binary);
        if (!in) continue;  // never written yet: the device stays erased
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
        if (bytes.size() != kDevices[size_t(row)].size) {
            error = "state file " + path + " holds " + std::to_string(bytes.size()) +
                    " bytes, expected " + std::to_string(kDevices[size_t(row)].size);
            return false;
        }
        loaded[size_t(row)] = std::move(bytes);
    }
    for (int row = 0; row < kDeviceCount; ++row) {
        FlashDevice& dev = devices_[size_t(row)];
        if (!loaded[size_t(row)].empty()) {
            dev.replace(0, loaded[size_t(row)].data(), uint32_t(loaded[size_t(row)].size()));
            dev.markClean();
        }
    }
    folder_ = folder;
    return true;
}

bool DeviceStore::anyChanged() const {
    return std::any_of(devices_.begin(), devices_.end(),
                       [](const FlashDevice& d) { return d.dirty(); });
}

bool DeviceStore::saveChanged(std::string& error) {
    if (folder_.empty()) return true;
    for (FlashDevice& dev : devices_) {
        if (!dev.dirty()) continue;
        // Write beside the old file and rename, so an interrupted save keeps the old contents.
        const std::string path = folder_ + "/" + dev.info().stateFile;
        const std::string temp = path + ".tmp";
        {
            std::ofstream out(temp, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(dev.content().data()),
                      std::streamsize(dev.content().size()));
            if (!out.flush()) {
                error = "cannot write " + temp;
                std::remove(temp.c_str());
                return false;
            }
        }
        if (std::rename(temp.c_str(), path.c_str()) != 0) {
            error = "cannot replace " + path + ": " + std::strerror(errno);
            return false;
        }
        dev.markClean();
    }
    return true;
}

}  // namespace sim

// Throughput of the update file path: reading a 2 MiB image from Intel HEX text, and writing and
// reading back an update file that holds all five devices.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "programmer/files/device_image.h"
#include "programmer/files/file_io.h"
#include "programmer/files/intel_hex_reader.h"
#include "programmer/files/update_file_reader.h"
#include "programmer/files/update_file_writer.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kHexTargetMBps = 100;
constexpr double kReaderTargetMBps = 1000;

std::vector<uint8_t> randomImage(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(size);
    for (uint8_t& b : bytes)
        b = uint8_t(random());
    return bytes;
}

void appendRecord(std::string& text, uint8_t type, uint16_t address, const uint8_t* data,
                  size_t count) {
    char digits[4];
    uint8_t sum = uint8_t(count + (address >> 8) + address + type);
    std::snprintf(digits, sizeof digits, "%02X", unsigned(count));
    text += ':';
    text += digits;
    std::snprintf(digits, sizeof digits, "%02X", unsigned(address >> 8));
    text += digits;
    std::snprintf(digits, sizeof digits, "%02X", unsigned(address & 0xFF));
    text += digits;
    std::snprintf(digits, sizeof digits, "%02X", unsigned(type));
    text += digits;
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(digits, sizeof digits, "%02X", unsigned(data[i]));
        text += digits;
        sum = uint8_t(sum + data[i]);
    }
    std::snprintf(digits, sizeof digits, "%02X", unsigned(uint8_t(0x100 - sum)));
    text += digits;
    text += "\r\n";
}

// The image as a microcontroller build tool writes it: 16 bytes per line, a linear address
// record every 64 KiB, flash at 0x80000000.
std::string intelHexText(const std::vector<uint8_t>& image) {
    std::string text;
    for (size_t offset = 0; offset < image.size(); offset += 16) {
        if (offset % 0x10000 == 0) {
            const uint32_t upper = uint32_t((0x80000000u + offset) >> 16);
            const uint8_t value[2] = {uint8_t(upper >> 8), uint8_t(upper)};
            appendRecord(text, 0x04, 0, value, 2);
        }
        appendRecord(text, 0x00, uint16_t(offset), image.data() + offset, 16);
    }
    appendRecord(text, 0x01, 0, nullptr, 0);
    return text;
}

// Runs `work` until about half a second has passed; returns seconds per run.
template <typename Work>
double secondsPerRun(Work work) {
    work();  // warm-up
    int runs = 0;
    const auto start = Clock::now();
    std::chrono::duration<double> elapsed{};
    do {
        work();
        ++runs;
        elapsed = Clock::now() - start;
    } while (elapsed.count() < 0.5);
    return elapsed.count() / runs;
}

void report(const char* what, size_t bytes, double seconds, double target) {
    const double mbps = double(bytes) / seconds / 1e6;
    std::printf("%-44s %8.1f MB/s", what, mbps);
    if (target > 0)
        std::printf("   (target > %.0f MB/s: %s)", target, mbps > target ? "met" : "MISSED");
    std::printf("\n");
}

}  // namespace

int main() {
    bool ok = true;

    // Intel HEX.
    const std::vector<uint8_t> firmware = randomImage(files::kDeviceImageSize, 1);
    const std::string hex = intelHexText(firmware);
    std::vector<uint8_t> image(files::kDeviceImageSize, 0xFF);
    files::DeviceImageInfo info;
    const double hexSeconds = secondsPerRun([&] {
        if (files::ReadIntelHexText(hex, image.data(), image.size(), info) != 0)
            std::abort();
    });
    if (image != firmware || info.length() != firmware.size()) {
        std::printf("Intel HEX image differs from the source\n");
        ok = false;
    }
    std::printf("Intel HEX text: %zu bytes for a %zu-byte image\n", hex.size(), firmware.size());
    report("ReadIntelHex, text in memory", hex.size(), hexSeconds, kHexTargetMBps);

    char folder[] = "/tmp/kf-bench-XXXXXX";
    const bool haveFolder = mkdtemp(folder) != nullptr;
    if (haveFolder) {
        const std::string path = std::string(folder) + "/main_001_V01_00.hex";
        if (files::writeFileSafely(path, std::vector<uint8_t>(hex.begin(), hex.end())) == 0) {
            const double seconds = secondsPerRun([&] {
                if (files::ReadIntelHex(path, image.data(), image.size(), info) != 0)
                    std::abort();
            });
            report("ReadIntelHex, from a file (page cache)", hex.size(), seconds, 0);
        }
    }

    // An update file with all five devices, each a full 2 MiB image.
    std::vector<std::vector<uint8_t>> devices;
    for (int i = 0; i < files::kDeviceCount; ++i)
        devices.push_back(randomImage(files::kDeviceImageSize - size_t(i) * 7, unsigned(10 + i)));
    std::vector<uint8_t> updateFile;
    const double writeSeconds = secondsPerRun([&] {
        files::UpdateFileWriter writer;
        for (int i = 0; i < files::kDeviceCount; ++i) {
            const auto& data = devices[size_t(i)];
            if (writer.addRecord(i, 0, files::VersionBlock{}, data.data(), uint32_t(data.size())))
                std::abort();
        }
        if (writer.finish(updateFile) != 0)
            std::abort();
    });
    std::printf("Update file: %zu bytes, five devices\n", updateFile.size());
    report("UpdateFileWriter, into memory", updateFile.size(), writeSeconds, 0);

    files::UpdateFileReadResult result;
    const double readSeconds = secondsPerRun(
        [&] { result = files::readUpdateFile(updateFile.data(), updateFile.size()); });
    if (!result.ok()) {
        std::printf("the update file was refused: %s", result.message().c_str());
        ok = false;
    }
    report("readUpdateFile (tag, walk, checksum)", updateFile.size(), readSeconds,
           kReaderTargetMBps);

    if (haveFolder) {
        const std::string path = std::string(folder) + "/bench.qup";
        std::vector<uint8_t> back;
        const auto start = Clock::now();
        const int written = files::writeFileSafely(path, updateFile);
        const std::chrono::duration<double> elapsed = Clock::now() - start;
        if (written == 0 && files::readWholeFile(path, back) == 0 && back == updateFile) {
            report("writeFileSafely (with fsync), once", updateFile.size(), elapsed.count(), 0);
        } else {
            std::printf("writing the update file to %s failed\n", path.c_str());
            ok = false;
        }
        std::remove(path.c_str());
        std::remove((std::string(folder) + "/main_001_V01_00.hex").c_str());
        std::remove(folder);
    }
    return ok ? 0 : 1;
}

// Device operations against camsim's camera model in process: block layout, address rules per
// row, blank blocks, read-back and the outcome of every fault.

#include "programmer/camera/flash_device.h"

#include <gtest/gtest.h>

#include <optional>

#include "fake_camera.h"
#include "protocol/commands.h"
#include "sim/camera_model.h"

namespace camera::test {
namespace {

using namespace protocol::cmd;

class RecordingProgress : public ProgressSink {
public:
    void setProgress(int row, int percent) override { values.push_back({row, percent}); }
    std::vector<std::pair<int, int>> values;
};

std::vector<uint8_t> pattern(size_t size) {
    std::vector<uint8_t> data(size);
    for (size_t i = 0; i < size; ++i) data[i] = uint8_t(1 + i * 7 + (i >> 8));
    return data;
}

bool allFF(auto first, auto last) {
    return std::all_of(first, last, [](uint8_t b) { return b == 0xFF; });
}

class FlashDeviceTest : public ::testing::Test {
protected:
    FlashDeviceTest() : cam(events), host(events) {
        cam.responder = [this](const SentCommand& s, std::vector<uint8_t>& p) -> uint32_t {
            if (!camera) camera.emplace(options, store);  // takes the faults set by then
            sim::Bytes telegram = s.bytes;
            telegram.push_back(protocol::checksumOf(telegram.data(), telegram.size()));
            const sim::Bytes reply = camera->handle(telegram).bytes;
            if (reply.empty()) return ScriptedCamera::kNoReply;
            if ((protocol::readU16(reply.data()) & 0xC0) == 0xC0) return protocol::readU32(&reply[4]);
            p.assign(reply.begin() + 4, reply.end() - 1);
            return 0;
        };
    }

    // Opens, erases where the row needs it, programs and closes, as the programming run does.
    ErrorCode program(int row, files::LoadedUpdateFile& file, bool emergency = false) {
        EXPECT_EQ(OpenDevice(cam, row, kOpenAttemptsUpdate), 0u);
        EXPECT_EQ(row == 2 ? 0u : EraseDevice(cam), 0u);
        const ErrorCode result = ProgramDevice(cam, row, file, emergency, progress, host);
        EXPECT_EQ(CloseDevice(cam), 0u);
        return result;
    }

    // The first and last address of each block sent with `command`, in order.
    using Ranges = std::vector<std::pair<uint32_t, uint32_t>>;
    Ranges blocksSent(uint16_t command) const {
        Ranges ranges;
        for (const SentCommand& s : cam.sentOf(command)) ranges.push_back({s.u32(4), s.u32(8)});
        return ranges;
    }

    bool flashHolds(int row, uint32_t offset, const std::vector<uint8_t>& data) {
        return std::equal(data.begin(), data.end(), store.device(row).content().begin() + offset);
    }

    EventLog events;
    sim::SimOptions options;
    sim::DeviceStore store;
    std::optional<sim::CameraModel> camera;
    ScriptedCamera cam;
    RecordingHost host;
    RecordingProgress progress;
};

TEST_F(FlashDeviceTest, OpenDeviceRetriesUpToTheAttempts) {
    options.faults.noReply[OPEN_MAIN_FPGA] = 4;
    EXPECT_EQ(OpenDevice(cam, 1, 3), ScriptedCamera::kNoReply);
    EXPECT_EQ(cam.sentCommands.size(), 3u);
    cam.sentCommands.clear();
    EXPECT_EQ(OpenDevice(cam, 1, 3), 0u);
    EXPECT_EQ(cam.sentCommands.size(), 2u);
}

TEST_F(FlashDeviceTest, CheckDavenReportsTheStatusAndAlwaysCloses) {
    cam.responder = [](const SentCommand& s, std::vector<uint8_t>& p) -> uint32_t {
        if (s.code == OPEN_DAVEN) p = {0x07, 0, 0, 0};
        return 0;
    };
    EXPECT_EQ(CheckDaven(cam), 7u);
    EXPECT_STREQ(cam.statusText, "error OPEN_DAVEN: 0x0 0x7\n");
    ASSERT_EQ(cam.sentCommands.size(), 2u);
    EXPECT_EQ(cam.sentCommands[1].code, CLOSE_DEVICE);

    cam.responder = [](const SentCommand& s, std::vector<uint8_t>&) -> uint32_t {
        return s.code == OPEN_DAVEN ? ScriptedCamera::kNoReply : 0;
    };
    EXPECT_EQ(CheckDaven(cam), ScriptedCamera::kNoReply);
    EXPECT_EQ(cam.sentCommands.back().code, CLOSE_DEVICE);
}

TEST_F(FlashDeviceTest, MainUpWritesFrom0x80000000ReadsBackAndLetsTheCameraCheckTheSum) {
    const auto data = pattern(600);
    auto file = fileWith(0, data);
    ASSERT_EQ(program(0, file), 0u);

    EXPECT_EQ(blocksSent(WRITE_BLOCK), (Ranges{{0x80000000, 0x800000FF},
                                               {0x80000100, 0x800001FF},
                                               {0x80000200, 0x80000257}}));
    EXPECT_EQ(cam.sentOf(READ_BLOCK).size(), 3u);
    EXPECT_TRUE(flashHolds(0, 0, data));

    uint32_t sum = 0;
    for (uint8_t b : data) sum += b;
    const SentCommand set = cam.sentOf(SET_CHECKSUM).at(0);
    EXPECT_EQ(set.u32(4), 0x80000000u);
    EXPECT_EQ(set.u32(8), 0x80000257u);
    EXPECT_EQ(set.u32(12), sum);
    EXPECT_EQ(cam.sentOf(GET_CHECKSUM).size(), 1u);
    // Progress per block, not to 100: the caller's row state tells the end.
    EXPECT_EQ(progress.values, (std::vector<std::pair<int, int>>{{0, 0}, {0, 42}, {0, 85}}));
    // Write, read back, then the message pump, block by block.
    EXPECT_EQ(EventLog(events.begin() + 2, events.begin() + 5),
              (EventLog{"cmd 0x1103", "cmd 0x1403", "pump"}));
}

TEST_F(FlashDeviceTest, AnImageOf257BytesGoesAs256And1WithTheLastBlockFilledWithFF) {
    const auto data = pattern(257);
    auto file = fileWith(3, data, 0x20);
    ASSERT_EQ(program(3, file), 0u);
    ASSERT_EQ(blocksSent(WRITE_BLOCK), (Ranges{{0x20, 0x11F}, {0x120, 0x120}}));
    const auto writes = cam.sentOf(WRITE_BLOCK);
    ASSERT_EQ(writes[1].bytes.size(), 269u);
    EXPECT_EQ(writes[1].bytes[12], data[256]);
    EXPECT_TRUE(allFF(writes[1].bytes.begin() + 13, writes[1].bytes.begin() + 268));
    EXPECT_EQ(writes[1].capacity, 15u);
    EXPECT_EQ(writes[1].timeoutMs, 5000u);
    EXPECT_TRUE(flashHolds(3, 0x20, data));
    EXPECT_TRUE(cam.sentOf(READ_BLOCK).empty());
    EXPECT_EQ(progress.values.back(), std::make_pair(3, 100));
}

TEST_F(FlashDeviceTest, EepromUsesItsOwnWriteCommandAndEndsAt100) {
    const auto data = pattern(448);
    auto file = fileWith(2, data);
    ASSERT_EQ(program(2, file), 0u);
    EXPECT_EQ(cam.sentOf(WRITE_EEPROM_BLOCK).size(), 2u);
    EXPECT_TRUE(cam.sentOf(WRITE_BLOCK).empty());
    EXPECT_TRUE(cam.sentOf(ERASE_DEVICE).empty());
    EXPECT_EQ(progress.values, (std::vector<std::pair<int, int>>{{2, 0}, {2, 57}, {2, 100}}));
    EXPECT_TRUE(flashHolds(2, 0, data));
}

TEST_F(FlashDeviceTest, FpgaImagesSkipBlankBlocks) {
    auto allBlank = fileWith(1, std::vector<uint8_t>(1000, 0xFF));
    ASSERT_EQ(program(1, allBlank), 0u);
    EXPECT_TRUE(cam.sentOf(WRITE_BLOCK).empty());
    EXPECT_EQ(std::count(events.begin(), events.end(), "pump"), 0);

    std::vector<uint8_t> sparse(0x500, 0xFF);
    sparse[0x10] = 0x12;
    sparse[0x4FF] = 0x34;
    auto file = fileWith(4, sparse, 0x2000);
    ASSERT_EQ(program(4, file), 0u);
    EXPECT_EQ(blocksSent(WRITE_BLOCK), (Ranges{{0x2000, 0x20FF}, {0x2400, 0x24FF}}));
    EXPECT_TRUE(flashHolds(4, 0x2000, sparse));
}

TEST_F(FlashDeviceTest, AReadBackMismatchFailsTheVerifiedDevicesButEmergencyModeReadsNothing) {
    options.faults.readbackMismatch = {true, true, false, false, true};
    for (int row : {1, 4}) {
        auto file = fileWith(row, pattern(300));
        EXPECT_EQ(program(row, file), kErrReadBackMismatch) << "row " << row;
    }
    // The loop stops at the first bad block, so the camera's sum fails too and decides.
    auto main = fileWith(0, pattern(300));
    EXPECT_NE(program(0, main), 0u);
    auto fpga = fileWith(1, pattern(300));
    EXPECT_EQ(program(1, fpga, true), 0u);
    EXPECT_TRUE(flashHolds(1, 0, pattern(300)));
}

TEST_F(FlashDeviceTest, SilentlyLostWritesFailTheMainUpEvenWhenTheCamerasSumPasses) {
    const Responder camsim = cam.responder;
    std::vector<uint8_t> checked;
    cam.responder = [&](const SentCommand& s, std::vector<uint8_t>& p) {
        // A camera whose sum passed reports the range and sum it was given.
        if (s.code == SET_CHECKSUM) checked.assign(s.bytes.begin() + 4, s.bytes.begin() + 16);
        if (s.code == GET_CHECKSUM) p = checked;
        return s.code == WRITE_BLOCK || s.code == SET_CHECKSUM || s.code == GET_CHECKSUM
                   ? 0u
                   : camsim(s, p);
    };
    auto main = fileWith(0, pattern(300));
    EXPECT_EQ(program(0, main), kErrReadBackMismatch);
    // The camera's own check still ran after the failed loop.
    EXPECT_EQ(cam.sentOf(SET_CHECKSUM).size(), 1u);
}

TEST_F(FlashDeviceTest, EveryDeviceIsWrittenInRisingAddressOrderAndAStopKeepsTheLowerBlocks) {
    struct Case {
        int row;
        uint16_t command;
        uint32_t startOffset;
        uint32_t firstAddress;
    };
    for (const Case c : {Case{0, WRITE_BLOCK, 0x100, 0x80000100}, Case{1, WRITE_BLOCK, 0, 0},
                         Case{2, WRITE_EEPROM_BLOCK, 0, 0}, Case{3, WRITE_BLOCK, 0x10, 0x10},
                         Case{4, WRITE_BLOCK, 0x400, 0x400}}) {
        cam.sentCommands.clear();
        const auto data = pattern(c.row == 2 || c.row == 3 ? 420 : 1000);
        auto file = fileWith(c.row, data, c.startOffset);
        ASSERT_EQ(program(c.row, file), 0u) << c.row;
        const auto writes = cam.sentOf(c.command);
        ASSERT_EQ(writes.size(), (data.size() + 255) / 256) << c.row;
        for (size_t i = 0; i < writes.size(); ++i)
            EXPECT_EQ(writes[i].u32(4), c.firstAddress + 256 * i) << c.row << " block " << i;
    }

    options.faults.writeFail.insert({1, 2});
    camera.reset();
    const auto data = pattern(1000);
    auto fpga = fileWith(1, data);
    EXPECT_EQ(program(1, fpga), sim::camerr::kWriteFailed);
    const auto& flash = store.device(1).content();
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + 512, flash.begin()));
    EXPECT_TRUE(allFF(flash.begin() + 512, flash.begin() + 1000));
}

TEST_F(FlashDeviceTest, AFailedChecksumStepFailsTheMainUp) {
    options.faults.errorReply[SET_CHECKSUM] = 0x80001105;
    auto main = fileWith(0, pattern(300));
    EXPECT_EQ(program(0, main), 0x80001105u);
    EXPECT_TRUE(cam.sentOf(GET_CHECKSUM).empty());
}

TEST_F(FlashDeviceTest, BadCountsAndImagesOutsideTheFileAreRefusedAMissingReadBackBufferIsMade) {
    uint8_t buffer[300] = {};
    EXPECT_EQ(WriteBlock(cam, WRITE_BLOCK, 0, 0, buffer), kErrBadDeviceRequest);
    EXPECT_EQ(WriteBlock(cam, WRITE_BLOCK, 0, 257, buffer), kErrBadDeviceRequest);
    auto file = fileWith(1, pattern(100));
    for (auto [length, offset] :
         {std::pair{uint32_t(file.image.size()), kImageOffset}, std::pair{100u, -1}}) {
        file.record[1].dataLength = length;
        file.dataOffset[1] = offset;
        EXPECT_EQ(ProgramDevice(cam, 1, file, false, progress, host), kErrBadDeviceRequest);
    }
    EXPECT_TRUE(cam.sentCommands.empty());

    auto unread = fileWith(1, pattern(300));
    unread.readBackImage.clear();
    EXPECT_EQ(program(1, unread), 0u);
    EXPECT_GE(unread.readBackImage.size(), unread.image.size());
    // A failed read leaves the buffer as it was.
    ASSERT_EQ(OpenDevice(cam, 3, 1), 0u);
    EXPECT_NE(ReadBlock(cam, READ_EEPROM_BLOCK, 440, 20, buffer), 0u);  // beyond the PLL
    EXPECT_EQ(std::count(buffer, buffer + 300, 0), 300);
}

}  // namespace
}  // namespace camera::test

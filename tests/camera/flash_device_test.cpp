// Device operations against camsim's camera model in process: block layout, address rules per
// row, blank blocks, read-back, the outcome of every fault, and the decoders of their replies: a
// reply shorter than the fields read from it, or one echoing other addresses than were asked, is
// an error of its own and leaves nothing behind that looks like data.

#include "programmer/camera/flash_device.h"

#include <gtest/gtest.h>

#include "model_link.h"
#include "protocol/commands.h"
#include "protocol/reply_fields.h"

namespace camera::test {
namespace {

using namespace protocol::cmd;
using protocol::kErrReplyEcho;
using protocol::kErrReplyShort;
using Bytes = std::vector<uint8_t>;
using Ranges = std::vector<std::pair<uint32_t, uint32_t>>;
using Progress = std::vector<std::pair<int, int>>;

class RecordingProgress : public ProgressSink {
public:
    void setProgress(int row, int percent) override { values.push_back({row, percent}); }
    Progress values;
};

Bytes pattern(size_t size) {
    Bytes data(size);
    for (size_t i = 0; i < size; ++i) data[i] = uint8_t(1 + i * 7 + (i >> 8));
    return data;
}

bool allFF(auto first, auto last) {
    return std::all_of(first, last, [](uint8_t b) { return b == 0xFF; });
}

// The blocks of `bytes` bytes written from `first` on, 256 to a block.
Ranges run(uint32_t first, uint32_t bytes) {
    Ranges ranges;
    for (uint32_t at = 0; at < bytes; at += 256)
        ranges.push_back({first + at, first + std::min(at + 256, bytes) - 1});
    return ranges;
}

// A link on a fresh model camera, with its events, wait host and progress.
struct Bench {
    // Opens, erases where the row needs it, programs and closes, as the programming run does.
    ErrorCode program(int row, files::LoadedUpdateFile& file, bool emergency = false) {
        EXPECT_EQ(OpenDevice(cam, row, kOpenAttemptsUpdate), 0u);
        EXPECT_EQ(row == 2 ? 0u : EraseDevice(cam), 0u);
        const ErrorCode result = ProgramDevice(cam, row, file, emergency, progress, host);
        EXPECT_EQ(CloseDevice(cam), 0u);
        return result;
    }
    // The first and last address of each block sent with `command`, in order.
    Ranges blocksSent(uint16_t command) const {
        Ranges ranges;
        for (const SentCommand& s : cam.sentOf(command)) ranges.push_back({s.u32(4), s.u32(8)});
        return ranges;
    }
    const Bytes& flash(int row) { return cam.model.store.device(row).content(); }

    EventLog events;
    ModelLink cam{events};
    RecordingHost host{events};
    RecordingProgress progress;
};

TEST(FlashDevice, EachDeviceIsWrittenInRisingBlocksFilledWithFFAndReadBackWhereItIsVerified) {
    Bytes sparse(0x500, 0xFF);
    sparse[0x10] = 0x12;
    sparse[0x4FF] = 0x34;
    const struct {
        const char* name;
        int row;
        Bytes data;
        uint32_t startOffset;
        uint16_t write;
        Ranges blocks;
        size_t reads;
        Progress progress;  // per block, not to 100 where the caller's row state tells the end
    } cases[] = {
        {"Main uP", 0, pattern(600), 0, WRITE_BLOCK, run(0x80000000, 600), 3,
         {{0, 0}, {0, 42}, {0, 85}}},
        {"Main uP further on", 0, pattern(1000), 0x100, WRITE_BLOCK, run(0x80000100, 1000), 4, {}},
        {"Main FPGA", 1, pattern(1000), 0, WRITE_BLOCK, run(0, 1000), 4, {}},
        {"Main FPGA all blank", 1, Bytes(1000, 0xFF), 0, WRITE_BLOCK, {}, 0, {}},
        {"EEPROM", 2, pattern(448), 0, WRITE_EEPROM_BLOCK, run(0, 448), 0,
         {{2, 0}, {2, 57}, {2, 100}}},
        {"PLL: 257 bytes as 256 and 1", 3, pattern(257), 0x20, WRITE_BLOCK, run(0x20, 257), 0,
         {{3, 0}, {3, 99}, {3, 100}}},
        {"PLL", 3, pattern(420), 0x10, WRITE_BLOCK, run(0x10, 420), 0, {}},
        {"Head FPGA", 4, pattern(1000), 0x400, WRITE_BLOCK, run(0x400, 1000), 4, {}},
        {"Head FPGA skips blank blocks", 4, sparse, 0x2000, WRITE_BLOCK,
         {{0x2000, 0x20FF}, {0x2400, 0x24FF}}, 2, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bench b;
        auto [events, cam] = std::tie(b.events, b.cam);
        auto file = fileWith(c.row, c.data, c.startOffset);
        ASSERT_EQ(b.program(c.row, file), 0u);
        EXPECT_EQ(b.blocksSent(c.write), c.blocks);
        EXPECT_TRUE(cam.sentOf(c.write == WRITE_BLOCK ? WRITE_EEPROM_BLOCK : WRITE_BLOCK).empty());
        EXPECT_EQ(cam.sentOf(ERASE_DEVICE).size(), c.row == 2 ? 0u : 1u);  // the test's own
        EXPECT_EQ(cam.sentOf(c.row == 2 ? READ_EEPROM_BLOCK : READ_BLOCK).size(), c.reads);
        EXPECT_TRUE(std::equal(c.data.begin(), c.data.end(), b.flash(c.row).begin() + c.startOffset));
        EXPECT_EQ(std::count(events.begin(), events.end(), "pump"), long(c.reads));
        if (!c.progress.empty()) {
            EXPECT_EQ(b.progress.values, c.progress);
        }
        for (const SentCommand& s : cam.sentOf(c.write)) {
            ASSERT_EQ(s.bytes.size(), 269u);
            EXPECT_EQ(s.capacity, 15u);
            EXPECT_EQ(s.timeoutMs, 5000u);
            const size_t count = s.u32(8) - s.u32(4) + 1;
            EXPECT_TRUE(allFF(s.bytes.begin() + 12 + long(count), s.bytes.begin() + 268));
        }
        if (c.reads > 0) {  // write, read back, then the message pump, block by block
            EXPECT_EQ(EventLog(events.begin() + 2, events.begin() + 5),
                      (EventLog{"cmd 0x1103", "cmd 0x1403", "pump"}));
        }
        // The Main uP lets the camera check the byte sum of the range.
        EXPECT_EQ(cam.sentOf(GET_CHECKSUM).size(), c.row == 0 ? 1u : 0u);
        if (c.row == 0) {
            uint32_t sum = 0;
            for (uint8_t b : c.data) sum += b;
            const SentCommand set = cam.sentOf(SET_CHECKSUM).at(0);
            EXPECT_EQ(set.u32(4), c.blocks.front().first);
            EXPECT_EQ(set.u32(8), c.blocks.back().second);
            EXPECT_EQ(set.u32(12), sum);
        }
    }
}

TEST(FlashDevice, FaultsEndTheDeviceWithTheirCodeAndKeepTheBlocksWrittenBefore) {
    const auto lostWrites = [](OnModel<BareLink>& link) {
        // Writes vanish; a camera whose sum passed reports the range and sum it was given.
        link.instead = [checked = std::make_shared<Bytes>()](const SentCommand& s, uint8_t* reply)
            -> std::optional<ErrorCode> {
            if (s.code == SET_CHECKSUM) checked->assign(s.bytes.begin() + 4, s.bytes.begin() + 16);
            if (s.code == WRITE_BLOCK || s.code == SET_CHECKSUM) return answer(reply, s.code);
            if (s.code == GET_CHECKSUM) return answer(reply, s.code, *checked);
            return std::nullopt;
        };
    };
    const struct {
        const char* name;
        int row;
        bool emergency;
        const char* fault;  // camsim's description; null: the writes are lost
        ErrorCode result;
        size_t kept;          // bytes of the image the flash holds, erased beyond
        size_t setChecksums;  // SET_CHECKSUM and GET_CHECKSUM sent
        size_t getChecksums;
    } cases[] = {
        {"read-back mismatch, Main FPGA", 1, false, "readback-mismatch:1", kErrReadBackMismatch,
         256, 0, 0},
        {"read-back mismatch, Head FPGA", 4, false, "readback-mismatch:4", kErrReadBackMismatch,
         256, 0, 0},
        // The loop stops at the first bad block, so the camera's sum fails too and decides.
        {"read-back mismatch, Main uP", 0, false, "readback-mismatch:0",
         protocol::camerr::kChecksumMismatch, 256, 1, 0},
        {"emergency mode reads nothing back", 1, true, "readback-mismatch:1", 0, 1000, 0, 0},
        // The camera's own check still runs after the failed loop.
        {"silently lost writes, Main uP", 0, false, nullptr, kErrReadBackMismatch, 0, 1, 1},
        {"third block write fails", 1, false, "write-fail:1:2", protocol::camerr::kWriteFailed, 512,
         0, 0},
        {"the checksum step fails", 0, false, "error:1b03:80001105", 0x80001105, 1000, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bench b;
        ModelLink& link = b.cam;
        std::string error;
        if (c.fault == nullptr) {
            lostWrites(link);
        } else {
            ASSERT_TRUE(sim::addFault(c.fault, link.model.options.faults, error)) << error;
        }
        const Bytes data = pattern(1000);
        auto file = fileWith(c.row, data);
        EXPECT_EQ(b.program(c.row, file, c.emergency), c.result);
        const Bytes& flash = b.flash(c.row);
        EXPECT_TRUE(std::equal(data.begin(), data.begin() + long(c.kept), flash.begin()));
        EXPECT_TRUE(allFF(flash.begin() + long(c.kept), flash.begin() + 1000));
        EXPECT_EQ(link.sentOf(SET_CHECKSUM).size(), c.setChecksums);
        EXPECT_EQ(link.sentOf(GET_CHECKSUM).size(), c.getChecksums);
    }
}

TEST(FlashDevice, OpenRetriesDavenStatusBadRequestsAndAMissingReadBackBuffer) {
    Bench b;
    auto [cam, host, progress] = std::tie(b.cam, b.host, b.progress);
    cam.model.options.faults.noReply[OPEN_MAIN_FPGA] = 4;
    EXPECT_EQ(OpenDevice(cam, 1, 3), ModelLink::kNoReply);
    EXPECT_EQ(cam.sentCommands.size(), 3u);
    cam.sentCommands.clear();
    EXPECT_EQ(OpenDevice(cam, 1, 3), 0u);
    EXPECT_EQ(cam.sentCommands.size(), 2u);
    ASSERT_EQ(CloseDevice(cam), 0u);

    // OPEN_DAVEN reports its status and the device is closed whatever the answer.
    for (const uint32_t status : {7u, ModelLink::kNoReply}) {
        cam.instead = [status](const SentCommand& s, uint8_t* reply) -> std::optional<ErrorCode> {
            if (s.code != OPEN_DAVEN) return std::nullopt;
            if (status == ModelLink::kNoReply) return status;
            return answer(reply, OPEN_DAVEN, {uint8_t(status), 0, 0, 0});
        };
        EXPECT_EQ(CheckDaven(cam), status);
        EXPECT_STREQ(cam.statusText, status == 7 ? "error OPEN_DAVEN: 0x0 0x7\n"
                                                 : "error OPEN_DAVEN: 0xa00b2005 0x0\n");
        EXPECT_EQ(cam.sentCommands.back().code, CLOSE_DEVICE);
    }
    cam.instead = nullptr;
    cam.sentCommands.clear();

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
    EXPECT_EQ(b.program(1, unread), 0u);
    EXPECT_GE(unread.readBackImage.size(), unread.image.size());
    // A failed read leaves the buffer as it was.
    ASSERT_EQ(OpenDevice(cam, 3, 1), 0u);
    EXPECT_NE(ReadBlock(cam, READ_EEPROM_BLOCK, 440, 20, buffer), 0u);  // beyond the PLL
    EXPECT_EQ(std::count(buffer, buffer + 300, 0), 300);
}

struct Outcome {
    ErrorCode result = 0;
    std::string detail;  // what the decoder left behind
};

// Opens `row`, whose flash starts with 2, 3, 4, ..., and reads `count` bytes at 0 into a buffer
// of 0xAA.
Outcome readBlockOf(ModelCamera& cam, int row, uint16_t command, uint32_t count = 256) {
    std::array<uint8_t, protocol::kBlockSize> buffer;
    for (size_t i = 0; i < buffer.size(); ++i) buffer[i] = uint8_t(2 + i);
    cam.store.device(row).write(0, buffer.data(), uint32_t(buffer.size()));
    EXPECT_EQ(OpenDevice(cam, row, 1), 0u);
    buffer.fill(0xAA);
    const ErrorCode result = ReadBlock(cam, command, 0, count, buffer.data());
    const bool untouched =
        std::all_of(buffer.begin(), buffer.begin() + count, [](uint8_t b) { return b == 0xAA; });
    return {result, untouched ? "untouched" : "data " + std::to_string(buffer[0])};
}

// Programs `cam` with a bench's wait host and progress.
Outcome programmedMainUp(ModelCamera& cam) {
    Bench bench;
    files::LoadedUpdateFile file = fileWith(0, std::vector<uint8_t>(300, 0x5A), 0x8000);
    EXPECT_EQ(OpenDevice(cam, 0, 1), 0u);
    EXPECT_EQ(EraseDevice(cam), 0u);
    return {ProgramDevice(cam, 0, file, true, bench.progress, bench.host), ""};
}

TEST(ReplyDecoding, ShortAndWrongEchoRepliesAreErrorsNotData) {
    using Decoder = std::function<Outcome(ModelCamera&)>;
    const Decoder block = [](ModelCamera& c) { return readBlockOf(c, 1, READ_BLOCK); };
    const Decoder eeprom = [](ModelCamera& c) { return readBlockOf(c, 2, READ_EEPROM_BLOCK); };
    const Decoder eepromHalf = [](ModelCamera& c) {
        return readBlockOf(c, 2, READ_EEPROM_BLOCK, 128);
    };
    const Decoder checksum = [](ModelCamera& c) {
        uint32_t first = 7, last = 7, sum = 7;
        const ErrorCode r = GetChecksum(c, first, last, sum);
        return Outcome{r, std::to_string(first + last + sum)};
    };
    const Decoder type = [](ModelCamera& c) {
        c.cameraType = 0x1111;
        const ErrorCode r = c.ReadCameraType();
        return Outcome{r, std::to_string(c.cameraType)};
    };
    // The identification takes a reply without the link word for a camera without firmware.
    const Decoder identify = [](ModelCamera& c) {
        const bool running = c.identifyCamera(1);
        return Outcome{running ? 0u : 1u, std::to_string(c.serialNumber)};
    };
    const Decoder daven = [](ModelCamera& c) { return Outcome{CheckDaven(c), c.statusText}; };
    const struct Row {
        const char* name;
        const char* fault;  // camsim fault description, "" for none
        Decoder decode;
        ErrorCode result;
        const char* detail;
    } rows[] = {
        {"READ_BLOCK complete", "", block, 0, "data 2"},
        {"READ_BLOCK short", "short-reply:1403", block, kErrReplyShort, "untouched"},
        {"READ_BLOCK other block", "wrong-echo:1403", block, kErrReplyEcho, "untouched"},
        {"READ_EEPROM_BLOCK complete", "", eeprom, 0, "data 2"},
        {"READ_EEPROM_BLOCK short", "short-reply:1603", eeprom, kErrReplyShort, "untouched"},
        {"READ_EEPROM_BLOCK other block", "wrong-echo:1603", eepromHalf, kErrReplyEcho,
         "untouched"},
        {"GET_CHECKSUM short", "short-reply:1c03", checksum, kErrReplyShort, "21"},
        {"Main uP sum check complete", "", programmedMainUp, 0, ""},
        {"Main uP sum check of another range", "wrong-echo:1c03", programmedMainUp, kErrReplyEcho,
         ""},
        {"Main uP sum check reply short", "short-reply:1c03", programmedMainUp, kErrReplyShort, ""},
        {"GET_CAMERA_TYPE complete", "", type, 0, "1024"},
        {"GET_CAMERA_TYPE short", "short-reply:0110:1", type, kErrReplyShort, "4369"},
        {"identification complete", "", identify, 0, "1234"},
        // The boot mode serial number 0x87654321.
        {"identification short", "short-reply:0110", identify, 1, "2271560481"},
        {"OPEN_DAVEN short", "short-reply:5003", daven, kErrReplyShort,
         "error OPEN_DAVEN: 0x800b200e 0x0\n"},
        {"OPEN_DAVEN complete", "", daven, 0, ""},
    };
    for (const Row& row : rows) {
        ModelCamera cam;
        std::string error;
        if (row.fault[0] != '\0') {
            ASSERT_TRUE(sim::addFault(row.fault, cam.options.faults, error)) << error;
        }
        const Outcome out = row.decode(cam);
        EXPECT_EQ(out.result, row.result) << row.name;
        EXPECT_EQ(out.detail, row.detail) << row.name;
    }
}

}  // namespace
}  // namespace camera::test

// Every reply decoder of the camera operations against camsim's camera model with its reply
// faults: a reply shorter than the fields read from it, or one echoing other addresses than were
// asked, is an error of its own and leaves nothing behind that looks like data.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <string>

#include "model_link.h"
#include "programmer/camera/flash_device.h"
#include "protocol/commands.h"
#include "protocol/reply_fields.h"

namespace camera::test {
namespace {

using namespace protocol::cmd;
using protocol::kErrReplyEcho;
using protocol::kErrReplyShort;

class NoProgress : public ProgressSink {
public:
    void setProgress(int, int) override {}
};

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

Outcome programmedMainUp(ModelCamera& cam) {
    EventLog events;
    RecordingHost host(events);
    NoProgress progress;
    files::LoadedUpdateFile file = fileWith(0, std::vector<uint8_t>(300, 0x5A), 0x8000);
    EXPECT_EQ(OpenDevice(cam, 0, 1), 0u);
    EXPECT_EQ(EraseDevice(cam), 0u);
    return {ProgramDevice(cam, 0, file, true, progress, host), ""};
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

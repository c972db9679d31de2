// What the camera links' recorder writes for each kind of transaction result: the telegram as it
// went out (checksum added), then the reply as the caller got it, a time-out, a reply whose
// checksum failed, or nothing at all for a telegram that never reached the line.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "programmer/camera/session_recorder.h"
#include "protocol/error_codes.h"

namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(SessionRecorder, EachResultIsRecordedAsTheLineSawIt) {
    const uint8_t command[5] = {0x10, 0x01, 0x05, 0x00, 0x00};  // GET_CAMERA_TYPE, no checksum yet
    const uint8_t reply[12] = {0x90, 0x01, 0x18, 0x00, 0x00, 0x04, 0, 0, 0xD2, 0x04, 0, 0};
    const uint8_t error[8] = {0xD0, 0x01, 0x09, 0x00, 0x53, 0x10, 0x00, 0x80};
    const struct {
        const char* name;
        const uint8_t* reply;
        uint32_t capacity;
        uint32_t result;
        const char* lines;  // after the header
    } cases[] = {
        {"reply cut to the capacity", reply, 12, 0,
         "{\"ev\":\"tx\",\"ms\":5,\"bytes\":\"1001050016\"}\n"
         "{\"ev\":\"rx\",\"ms\":9,\"result\":0,\"bytes\":\"9001180000040000d2040000\"}\n"},
        {"error reply", error, 8, 0x80001053,
         "{\"ev\":\"tx\",\"ms\":5,\"bytes\":\"1001050016\"}\n"
         "{\"ev\":\"rx\",\"ms\":9,\"result\":2147487827,\"bytes\":\"d001090053100080\"}\n"},
        {"no buffer", nullptr, 0, 0,
         "{\"ev\":\"tx\",\"ms\":5,\"bytes\":\"1001050016\"}\n"
         "{\"ev\":\"rx\",\"ms\":9,\"result\":0,\"bytes\":\"\"}\n"},
        {"COM time-out", reply, 12, protocol::kErrPortIo,
         "{\"ev\":\"tx\",\"ms\":5,\"bytes\":\"1001050016\"}\n"
         "{\"ev\":\"timeout\",\"ms\":9,\"result\":2685083653}\n"},
        {"library time-out", reply, 12, protocol::kErrLibraryLineIo,
         "{\"ev\":\"tx\",\"ms\":5,\"bytes\":\"1001050016\"}\n"
         "{\"ev\":\"timeout\",\"ms\":9,\"result\":2150834183}\n"},
        {"bad checksum", reply, 12, protocol::kErrLibraryChecksum,
         "{\"ev\":\"tx\",\"ms\":5,\"bytes\":\"1001050016\"}\n"
         "{\"ev\":\"rx\",\"ms\":9,\"result\":2150834184,\"bytes\":\"\"}\n"},
        {"refused by the library", reply, 12, protocol::kErrLibraryArgument, ""},
        {"no library", reply, 12, protocol::kErrGrabberLibrary, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = ::testing::TempDir() + "session_recorder_test.jsonl";
        std::remove(path.c_str());
        platform::VirtualClock clock;
        std::string problem;
        {
            auto recorder = camera::SessionRecorder::create(
                path, {"kelvoflash-cli", "1.11", "com", 0, "/dev/pts/1", "", {57600}, "T"}, clock,
                problem);
            ASSERT_TRUE(recorder) << problem;
            clock.advance(platform::Milliseconds(5));
            const uint64_t sent = recorder->elapsed();
            clock.advance(platform::Milliseconds(4));
            recorder->exchange(sent, command, sizeof command, c.reply, c.capacity, c.result);
        }
        const std::string text = readAll(path);
        EXPECT_EQ(text.substr(text.find('\n') + 1), c.lines);
        std::remove(path.c_str());
    }
}

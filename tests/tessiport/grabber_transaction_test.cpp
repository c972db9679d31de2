// Control_Command on a grabber channel, Set_Timeouts, Get_Camera_Error and a full driver table,
// in process against a scripted serial channel: the byte-exact cases (what is written,
// how far replies are read) that a camera cannot be made to produce.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "protocol/telegram.h"
#include "tessiport/control_command.h"
#include "tessiport/driver_list.h"
#include "tessiport/include/tessiport.h"
#include "tessiport/process_attach.h"
#include "test_support.h"

namespace {

using namespace tessiport;

constexpr int32_t kTimeout = -10004;

struct Channel {
    std::vector<uint8_t> written;
    std::deque<uint8_t> incoming;
    std::vector<uint32_t> readCounts;
    std::vector<uint32_t> readTimeouts;
    uint32_t writeTimeout = 0;
    int32_t flushResult = 0;
    bool endless = false;  // a camera that never stops sending
} channel;

std::vector<std::string> errorLines;

int32_t fakeRead(SerialRef, char* buffer, uint32_t* count, uint32_t timeoutMs) {
    channel.readCounts.push_back(*count);
    channel.readTimeouts.push_back(timeoutMs);
    if (channel.endless) {
        std::memset(buffer, 0x19, *count);
        return 0;
    }
    const uint32_t wanted = *count;
    for (*count = 0; *count < wanted && !channel.incoming.empty(); ++*count) {
        buffer[*count] = char(channel.incoming.front());
        channel.incoming.pop_front();
    }
    return *count == wanted ? 0 : kTimeout;
}

int32_t fakeWrite(SerialRef, char* buffer, uint32_t* count, uint32_t timeoutMs) {
    channel.written.insert(channel.written.end(), buffer, buffer + *count);
    channel.writeTimeout = timeoutMs;
    channel.endless = false;
    return 0;
}

int32_t fakeFlush(SerialRef) {
    return channel.flushResult;
}

using libtest::telegram;

class GrabberTransaction : public testing::Test {
protected:
    void SetUp() override {
        channel = Channel{};
        errorLines.clear();
        Enable_Error_Messages(5, [](const char* text) { errorLines.emplace_back(text); });
        clearDriverList();
        entry().handle = kHandle;
        entry().board = 0;
        entry().openCount = 1;
        entry().serialRef = reinterpret_cast<SerialRef>(0x1234);
        entry().pclSerialRead = fakeRead;
        entry().pclSerialWrite = fakeWrite;
        entry().pclSerialFlush = fakeFlush;
    }
    void TearDown() override {
        Enable_Error_Messages(0, nullptr);
        clearDriverList();
    }
    static DriverEntry& entry() { return driverlist()[0]; }

    uint32_t send(const std::vector<uint8_t>& command, uint32_t capacity = 0) {
        reply.assign(1100, 0xEE);
        return Control_Command(kHandle, command.data(), uint32_t(command.size()), reply.data(),
                               capacity);
    }
    size_t replyBytesWritten() const {
        return size_t(
            std::find_if(reply.rbegin(), reply.rend(), [](uint8_t b) { return b != 0xEE; }).base() -
            reply.begin());
    }

    static constexpr uint32_t kHandle = 0x100;
    std::vector<uint8_t> reply;
};

// GET_CAMERA_TYPE without its checksum byte, as a host passes it.
const std::vector<uint8_t> kGetType = {0x10, 0x01, 0x05, 0x00, 0x00};

TEST_F(GrabberTransaction, RepliesAreValidatedAndCopiedNoFurtherThanTheyGo) {
    std::vector<uint8_t> longReply(600, 0x33);
    protocol::writeU16(&longReply[0], 0x0190);
    protocol::writeU16(&longReply[2], 600);
    std::vector<uint8_t> shortBody = telegram(0x0190, {1, 2, 3, 4});
    shortBody.resize(6);
    const struct {
        const char* name;
        std::vector<uint8_t> incoming;
        uint32_t capacity;
        uint32_t result;
        size_t copied;
        uint32_t cameraError;
        std::string errorLine;  // the last error line; "" for none
    } rows[] = {
        {"good reply, cut to capacity", telegram(0x0190, {1, 2, 3, 4}), 6, 0, 6, 0, ""},
        // The checksum test accepts replies up to max(capacity, 9) + 1 bytes.
        {"reply longer than the capacity allows", telegram(0x0190, {1, 2, 3, 4, 5, 6}), 6,
         TP_ERR_CHECKSUM, 0, 0, "0x0001 ERROR test_checksum size error"},
        {"good reply, capacity 0", telegram(0x0190, {1, 2}), 0, 0, 0, 0, ""},
        {"error reply", telegram(0x01D0, {0x20, 0x10, 0x00, 0x80}), 9, 0x80001020, 8, 0x80001020,
         ""},
        {"wrong reply code", telegram(0x0191, {1, 2, 3, 4}), 9, TP_ERR_REPLY_CODE, 8, 0,
         "0x0100 ERROR Control_Command: wrong command return 0x191 != 0x190"},
        {"bad checksum", telegram(0x0190, {1, 2, 3, 4}, false), 9, TP_ERR_CHECKSUM, 0, 0,
         "0x0001 ERROR test_checksum size error"},
        {"no reply", {}, 9, TP_ERR_CHANNEL, 0, 0,
         "0x0100 ERROR Control_Command: SerialRead() returns -10004"},
        {"header announces no payload", {0x90, 0x01, 0x04, 0x00}, 9, TP_ERR_CHANNEL, 0, 0,
         "0x0100 ERROR Control_Command: SerialRead() returns 0"},
        {"body times out", shortBody, 9, TP_ERR_CHANNEL, 0, 0,
         "0x0100 ERROR Control_Command: SerialRead() returns -10004"},
        {"length field beyond the working buffer", longReply, 1000, TP_ERR_CHECKSUM, 0, 0,
         "0x0001 ERROR test_checksum size error"},
    };
    // The rows run on one entry: no failure closes the board for the next command.
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        channel = Channel{};
        errorLines.clear();
        lastCameraError = 0x1111;
        channel.incoming.assign(row.incoming.begin(), row.incoming.end());
        // A byte beyond the length field is not sent; the checksum is added in its place.
        EXPECT_EQ(send({0x10, 0x01, 0x05, 0x00, 0x00, 0x77}, row.capacity), row.result);
        EXPECT_EQ(channel.written, telegram(0x0110, {}));
        EXPECT_EQ(replyBytesWritten(), row.copied);
        EXPECT_TRUE(std::equal(reply.begin(), reply.begin() + long(row.copied), row.incoming.begin()));
        EXPECT_EQ(errorLines.empty() ? "" : errorLines.back(), row.errorLine);
        // Only a reply that reached validation rewrites the camera error.
        const bool validated = row.result != TP_ERR_CHANNEL;
        EXPECT_EQ(Get_Camera_Error(), validated ? row.cameraError : 0x1111u);
        uint32_t asked = 0;
        for (uint32_t count : channel.readCounts)
            asked += count;
        EXPECT_LE(asked, kWorkingBufferSize);
    }
}

TEST_F(GrabberTransaction, ClearingTheChannel) {
    // A failing flush ends the transaction before anything is written.
    channel.flushResult = -1;
    EXPECT_EQ(send(kGetType), TP_ERR_CHANNEL);
    EXPECT_TRUE(channel.written.empty());
    EXPECT_EQ(errorLines.back(), "0x0100 ERROR Control_Command: serialFlush returns -1");

    // Without a flush function and without the connection test: reads of 100 bytes at 50 ms,
    // bounded even when the camera never pauses; the command still goes out afterwards.
    SetUp();
    entry().pclSerialFlush = nullptr;
    entry().initmode = INITMODE_NO_CONNECTION_TEST;
    channel.endless = true;
    send(kGetType);
    ASSERT_GE(channel.readCounts.size(), size_t(kPreReadLimit));
    EXPECT_EQ(std::count(channel.readCounts.begin(), channel.readCounts.end(), 100u),
              kPreReadLimit);
    EXPECT_EQ(channel.readTimeouts.front(), 50u);
    EXPECT_EQ(channel.written, telegram(0x0110, {}));

    // With the connection test and no flush function nothing is read before the command.
    SetUp();
    entry().pclSerialFlush = nullptr;
    channel.incoming.assign(kGetType.begin(), kGetType.end());
    send(kGetType);
    EXPECT_EQ(channel.readCounts.front(), 4u);
}

TEST_F(GrabberTransaction, TimeoutsByLengthAndTheirUse) {
    const uint32_t values[3] = {700, 800, 900};
    const struct {
        uint32_t length;
        uint32_t command, image, transfer;
    } rows[] = {{0, 200, 3000, 200}, {4, 700, 3000, 200}, {11, 700, 800, 200}, {12, 700, 800, 900}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.length);
        entry().commandTimeout = 200;
        entry().imageTimeout = 3000;
        entry().transferTimeout = 200;
        EXPECT_EQ(Set_Timeouts(kHandle, values, row.length), 0u);
        EXPECT_EQ(entry().commandTimeout, row.command);
        EXPECT_EQ(entry().imageTimeout, row.image);
        EXPECT_EQ(entry().transferTimeout, row.transfer);
    }
    EXPECT_EQ(Set_Timeouts(0x999, values, 12), TP_ERR_HANDLE);
    EXPECT_EQ(errorLines.back(), "0x0999 ERROR Set_Timeouts: HANDLE 0x999 not valid");

    // The write gets the command time-out, each reply read twice it (saturated, not wrapped).
    const uint32_t huge[1] = {0x90000000};
    Set_Timeouts(kHandle, huge, 4);
    channel.incoming.assign(kGetType.begin(), kGetType.end());
    send(kGetType);
    EXPECT_EQ(channel.writeTimeout, 0x90000000u);
    EXPECT_EQ(channel.readTimeouts.front(), 0xFFFFFFFFu);
}

// Opens with a shared block of the test's own.
class AttachedProcess : public GrabberTransaction {
protected:
    void SetUp() override {
        setenv("TESSIPORT_INSTANCE", ("unit" + std::to_string(getpid())).c_str(), 1);
        setenv("QEL_DATA_DIR", "/nonexistent/folder", 1);
        ASSERT_TRUE(attachProcess());
        GrabberTransaction::SetUp();
    }
    void TearDown() override {
        GrabberTransaction::TearDown();
        detachProcess();
    }
};

TEST_F(AttachedProcess, AllEntriesInUse) {
    for (int i = 0; i < kDriverListSize; ++i) {
        driverlist()[size_t(i)].handle = 0x200 + uint32_t(i);
        driverlist()[size_t(i)].board = 50 + i;
        driverlist()[size_t(i)].openCount = 1;
    }
    uint32_t handle = 0;
    EXPECT_EQ(Open_Cam(QEL_KM4_CL_ONLY_SERIAL_INIT | INITMODE_NO_CONNECTION_TEST | 3, &handle),
              TP_ERR_NO_FREE_ENTRY);
    EXPECT_EQ(handle, 0u);
    EXPECT_EQ(errorLines.back(), "0x0103 ERROR Open_Cam_Ext: No free entry in driverlist found");
    // An open of a board that is open only counts.
    handle = 0;
    EXPECT_EQ(Open_Cam(QEL_KM4_CL_ONLY_SERIAL_INIT | 52, &handle), 0u);
    EXPECT_EQ(handle, 0x202u);
    EXPECT_EQ(driverlist()[2].openCount, 2u);
    clearDriverList();
}

}  // namespace

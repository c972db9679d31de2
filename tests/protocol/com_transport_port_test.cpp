// The COM-port transport over a scripted port: the read calls a transaction makes, the failures
// of the port's calls, and the exact log lines a technician sends to support.

#include <gtest/gtest.h>

#include <cerrno>
#include <deque>

#include "protocol/com_transport.h"
#include "protocol/commands.h"
#include "pty_peer.h"
#include "recording_log.h"

using namespace protocol;
using testing_support::Bytes;
using testing_support::RecordingLog;
using testing_support::telegram;
using Lines = std::vector<std::string>;

namespace {

// A port whose camera answers each write with the next scripted reply. A call can be made to
// fail (errno) or, for writes, to move fewer bytes than asked.
class ScriptedLine : public platform::SerialLine {
public:
    struct Outcome {
        int error = 0;
        size_t limit = SIZE_MAX;  // at most this many bytes moved
    };

    int open(const std::string&) override {
        open_ = openError == 0;
        return openError;
    }
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }
    int configure(uint32_t) override { return 0; }
    void setTimeouts(const platform::SerialTimeouts&) override {}
    int read(uint8_t* buffer, size_t count, size_t& received) override {
        readSizes.push_back(count);
        const Outcome outcome = next(reads);
        received = 0;
        if (outcome.error != 0) return outcome.error;
        while (received < std::min(count, outcome.limit) && !input.empty()) {
            buffer[received++] = input.front();
            input.pop_front();
        }
        return 0;
    }
    int write(const uint8_t* data, size_t count, size_t& written) override {
        const Outcome outcome = next(writes);
        written = 0;
        if (outcome.error != 0) return outcome.error;
        written = std::min(count, outcome.limit);
        sent.insert(sent.end(), data, data + written);
        if (!replies.empty()) {
            input.insert(input.end(), replies.front().begin(), replies.front().end());
            replies.pop_front();
        }
        return 0;
    }
    int bytesWaiting(size_t& count) override {
        count = input.size();
        return 0;
    }
    int purge() override {
        input.clear();
        return 0;
    }

    int openError = 0;
    std::deque<Outcome> reads, writes;  // one per call; calls beyond them succeed
    std::deque<Bytes> replies;
    std::deque<uint8_t> input;
    std::vector<size_t> readSizes;
    Bytes sent;

private:
    static Outcome next(std::deque<Outcome>& script) {
        if (script.empty()) return {};
        const Outcome outcome = script.front();
        script.pop_front();
        return outcome;
    }
    bool open_ = false;
};

Bytes readBlockReply() { return telegram(0x1483, Bytes(264, 0x5A)); }  // 269 bytes
Bytes writeBlockReply() { return telegram(0x1183, Bytes(8, 0)); }      // 13 bytes
const Bytes kDebugText = telegram(0x0019, {'h', 'e', 'l', 'l', 'o', '\n'});  // 11 bytes
const Bytes kReadBlock = telegram(cmd::READ_BLOCK, Bytes(8, 0x01));            // 13 bytes
const Bytes kWriteBlock = telegram(cmd::WRITE_BLOCK, Bytes(264, 0x02));        // 269 bytes

Bytes joined(const std::vector<Bytes>& parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

struct Transport {
    explicit Transport(Variant variant = Variant::Programmer) {
        auto owned = std::make_unique<ScriptedLine>();
        line = owned.get();
        transport = std::make_unique<ComTransport>(variant, log, clock, std::move(owned));
        line->open("");
    }
    ErrorCode transaction(const Bytes& command) {
        reply.assign(300, 0xEE);
        return transport->transaction(command.data(), uint32_t(command.size()), reply.data(),
                                      uint32_t(reply.size()), 8000);
    }
    ErrorCode readBlock() { return transaction(kReadBlock); }
    RecordingLog log;
    platform::VirtualClock clock;
    ScriptedLine* line = nullptr;
    std::unique_ptr<ComTransport> transport;
    Bytes reply;
};

}  // namespace

TEST(ComTransportReads, OneHeaderReadAndOneBodyReadPerTelegram) {
    const Bytes stale(1000, 0x55);
    struct Case {
        const char* name;
        Bytes command;
        Bytes waiting;  // in the input queue before the command
        std::vector<Bytes> answer;
        std::vector<size_t> reads;
    } cases[] = {
        {"block read", kReadBlock, {}, {readBlockReply()}, {4, 265}},
        {"block write's short reply", kWriteBlock, {}, {writeBlockReply()}, {4, 9}},
        {"debug text first", kReadBlock, {}, {kDebugText, readBlockReply()}, {4, 7, 4, 265}},
        {"stale input drained in one read", kReadBlock, stale, {readBlockReply()},
         {1000, 4, 265}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Transport t;
        t.line->input.assign(c.waiting.begin(), c.waiting.end());
        t.line->replies.push_back(joined(c.answer));
        EXPECT_EQ(t.transaction(c.command), kOk);
        EXPECT_EQ(t.line->readSizes, c.reads);
        EXPECT_EQ(t.line->sent, c.command);  // in one write
        EXPECT_EQ(t.reply[0], 0x83);
        if (!c.waiting.empty()) {
            EXPECT_EQ(t.log.lines().front(), "Check ReadFile size:1000");
        }
    }
}

TEST(ComTransportFailures, EachFailingPortCallEndsTheTransactionWithItsLogLines) {
    using O = ScriptedLine::Outcome;
    const std::string header = "ReadFile Com 0x1483 0x10d size:4 done 4";
    const std::string body = "ReadFile Com size:265 done 265";
    struct Case {
        const char* name;
        std::deque<O> writes, reads;
        std::vector<Bytes> answer;
        ErrorCode result;
        Lines lines;
    } cases[] = {
        {"success", {}, {}, {readBlockReply()}, kOk,
         {"WriteFile Com size 13 done 13", header, body}},
        {"write fails", {{EIO}}, {}, {readBlockReply()}, kErrPortIo,
         {"ERROR: WriteFile Com size 13 "}},
        {"write moves nothing", {{0, 0}}, {}, {readBlockReply()}, kErrPortIo,
         {"ERROR: WriteFile Com size 13 "}},
        {"partial write, rest written", {{0, 5}}, {}, {readBlockReply()}, kOk,
         {"WriteFile Com size 13 done 5", "WriteFile to Com size 8 done 8", header, body}},
        {"partial write, then a failure", {{0, 5}, {EIO}}, {}, {readBlockReply()}, kErrPortIo,
         {"WriteFile Com size 13 done 5", "ERROR: WriteFile Com size:8"}},
        {"partial write, then nothing", {{0, 5}, {0, 0}}, {}, {readBlockReply()}, kErrPortIo,
         {"WriteFile Com size 13 done 5", "ERROR: WriteFile Com size:8"}},
        {"header read fails", {}, {{EIO}}, {readBlockReply()}, kErrPortIo,
         {"WriteFile Com size 13 done 13", "ERROR: ReadFile Com size:4"}},
        {"no header", {}, {}, {}, kErrPortIo,
         {"WriteFile Com size 13 done 13", "ReadFile Com 0x0 0x0 size:4 done 0"}},
        {"body read fails", {}, {{}, {EIO}}, {readBlockReply()}, kErrPortIo,
         {"WriteFile Com size 13 done 13", header, "ERROR: ReadFile Com size:265"}},
        {"debug text read fails", {}, {{}, {EIO}}, {kDebugText, readBlockReply()}, kErrPortIo,
         {"WriteFile Com size 13 done 13", "ReadFile Com 0x19 0xb size:4 done 4",
          "Remove Debug command 0x19, size 11", "ERROR: ReadFile Com size:7"}},
        {"header after debug text fails", {}, {{}, {}, {EIO}}, {kDebugText, readBlockReply()},
         kErrPortIo,
         {"WriteFile Com size 13 done 13", "ReadFile Com 0x19 0xb size:4 done 4",
          "Remove Debug command 0x19, size 11", "ERROR: ReadFile Com size:4"}},
        {"body stops short: the checksum decides", {}, {{}, {0, 100}, {0, 0}},
         {readBlockReply()}, kErrChecksum,
         {"WriteFile Com size 13 done 13", header, "ReadFile Com size:265 done 100",
          "ReadFile Com size:165 done 0", "ERROR: checksum"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Transport t;
        t.line->writes = c.writes;
        t.line->reads = c.reads;
        if (!c.answer.empty()) t.line->replies.push_back(joined(c.answer));
        EXPECT_EQ(t.readBlock(), c.result);
        EXPECT_EQ(t.log.lines(), c.lines);
        // A failed transaction leaves the caller's buffer as it was.
        EXPECT_EQ(t.reply[0], c.result == kOk ? 0x83 : 0xEE);
    }
}

TEST(ComTransportLog, LibraryOpenDrainAndHeaderLinesAreExact) {
    Transport library(Variant::Library);
    library.line->openError = ENOENT;
    EXPECT_EQ(library.transport->openLibrary(3, 115200), kErrLibraryPortOpen);
    EXPECT_EQ(library.log.lines(), Lines{"Error open Comport\n"});

    Transport t(Variant::Library);
    Bytes cameraType(18, 0);
    writeU16(&cameraType[0], 0x1310);
    writeU32(&cameraType[4], 77);
    t.line->replies = {telegram(0x0190, cameraType), telegram(0x0099)};
    t.line->input.assign(3, 0x55);  // left over from before: the open purges it
    EXPECT_EQ(t.transport->openLibrary(1, 115200), kOk);
    EXPECT_EQ(t.log.lines(), (Lines{"WriteFile Com size 5 done 5",
                                    "ReadFile Com 0x190 0x17 size:4 done 4",
                                    "ReadFile Com 0x190 0x17 size:4 done 4",
                                    "ReadFile Com size:19 done 19",
                                    "WriteFile Com size 15 done 15",
                                    "ReadFile Com 0x99 0x5 size:4 done 4",
                                    "ReadFile Com 0x99 0x5 size:4 done 4",
                                    "ReadFile Com size:1 done 1",
                                    "CAMERA_TYPE: 1310 SerialNumber 77 \n"}));

    Transport silent(Variant::Library);
    EXPECT_EQ(silent.transport->configureAndIdentify(9600), kErrPortIo);
    EXPECT_EQ(silent.log.lines(), (Lines{"WriteFile Com size 5 done 5",
                                         "ReadFile Com 0x0 0x0 size:4 done 0",
                                         "GET_CAMERA_TYPE returned error -1609883643 \n"}));
}

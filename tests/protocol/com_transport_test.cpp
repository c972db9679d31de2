// The COM-port transport over a scripted port: the opens it makes, the read calls of a
// transaction, the failures of the port's calls, the drain, and the exact log lines a technician
// sends to support.

#include "protocol/com_transport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <deque>

#include "../tessiport/test_support.h"
#include "protocol/commands.h"
#include "recording_log.h"

using namespace protocol;
using namespace std::chrono_literals;
using libtest::Bytes;
using libtest::telegram;
using testing_support::RecordingLog;
using Lines = std::vector<std::string>;

namespace {

// A port whose camera answers each write with the next scripted reply. A call can be made to
// fail (errno) or, for writes, to move fewer bytes than asked; an endless port always has input.
class ScriptedLine : public platform::SerialLine {
public:
    struct Outcome {
        int error = 0;
        size_t limit = SIZE_MAX;  // at most this many bytes moved
    };

    int open(const std::string& path) override {
        opened.push_back(path);
        open_ = openError == 0;
        return openError;
    }
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }
    int configure(uint32_t) override { return 0; }
    void setTimeouts(const platform::SerialTimeouts& set) override { timeouts = set; }
    int read(uint8_t* buffer, size_t count, size_t& received) override {
        readSizes.push_back(count);
        const Outcome outcome = next(reads);
        for (received = 0; outcome.error == 0 && received < std::min(count, outcome.limit) &&
                           !input.empty();
             input.pop_front())
            buffer[received++] = input.front();
        return outcome.error;
    }
    int write(const uint8_t* data, size_t count, size_t& written) override {
        const Outcome outcome = next(writes);
        written = outcome.error == 0 ? std::min(count, outcome.limit) : 0;
        sent.insert(sent.end(), data, data + written);
        if (outcome.error == 0 && !replies.empty()) {
            input.insert(input.end(), replies.front().begin(), replies.front().end());
            replies.pop_front();
        }
        return outcome.error;
    }
    int bytesWaiting(size_t& count) override {
        if (endless) input.assign(1000, 0x55);
        count = input.size();
        return 0;
    }
    int purge() override {
        input.clear();
        return 0;
    }

    int openError = 0;
    bool endless = false;
    std::deque<Outcome> reads, writes;  // one per call; calls beyond them succeed
    std::deque<Bytes> replies;
    std::deque<uint8_t> input;
    std::vector<size_t> readSizes;
    std::vector<std::string> opened;
    platform::SerialTimeouts timeouts;  // the last ones set
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
Bytes cameraTypeReply(uint16_t type, uint32_t serial) {
    Bytes payload(18, 0);
    writeU16(&payload[0], type);
    writeU32(&payload[4], serial);
    return telegram(0x0190, payload);
}
const Bytes kDebugText = telegram(0x0019, {'h', 'e', 'l', 'l', 'o', '\n'});  // 11 bytes
const std::string kDebugLine = "Remove Debug command 0x19, size 11";
const Bytes kReadBlock = telegram(cmd::READ_BLOCK, Bytes(8, 0x01));            // 13 bytes
const Bytes kWriteBlock = telegram(cmd::WRITE_BLOCK, Bytes(264, 0x02));        // 269 bytes
const Bytes kVerboseOff =
    telegram(cmd::TEXT_COMMAND, {'v', 'e', 'r', 'b', 'o', 's', 'e', ' ', '0', '\r'});

Bytes joined(const std::vector<Bytes>& parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

struct Transport {
    explicit Transport(Variant variant = Variant::Programmer, bool open = true) {
        auto owned = std::make_unique<ScriptedLine>();
        line = owned.get();
        transport = std::make_unique<ComTransport>(variant, log, clock, std::move(owned));
        if (open) line->open("");
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

TEST(ComTransportOpen, KeepsThePortOnlyForTheIdentifiedPortNumberAndRepeatsVerboseOff) {
    Transport t(Variant::Programmer, false);
    ::setenv("QEL_COM1", "/dev/first", 1);
    EXPECT_EQ(t.transport->openByIndex(-1, -1), kErrPortIndex);
    ASSERT_EQ(t.transport->openByIndex(0, -1), kOk);  // index + 1
    EXPECT_EQ(t.line->sent, kVerboseOff);
    // The port number now leads elsewhere: a kept port still shows the old path.
    ::setenv("QEL_COM1", "/dev/second", 1);
    ASSERT_EQ(t.transport->openByIndex(0, 1), kOk);
    EXPECT_EQ(t.transport->portPath(), "/dev/first");
    EXPECT_EQ(t.line->sent, joined({kVerboseOff, kVerboseOff}));  // only "verbose 0\r" repeated
    ASSERT_EQ(t.transport->openByIndex(0, -1), kOk);  // no identification: reopened
    EXPECT_EQ(t.transport->portPath(), "/dev/second");
    ::setenv("QEL_COM1", "/dev/first", 1);
    ASSERT_EQ(t.transport->openByIndex(0, 2), kOk);  // identified elsewhere: reopened
    EXPECT_EQ(t.line->opened, (Lines{"/dev/first", "/dev/second", "/dev/first"}));
    EXPECT_EQ(t.transport->close(), 1);
    EXPECT_EQ(t.transport->portPath(), "");
    EXPECT_EQ(t.transport->drain(), kOk);  // on a closed port
    ::unsetenv("QEL_COM1");
}

TEST(ComTransportReads, OneHeaderReadAndOneBodyReadPerTelegram) {
    const Bytes stale(1000, 0x55);
    struct Case {
        const char* name;
        Bytes command;
        Bytes waiting;  // in the input queue before the command
        std::vector<Bytes> answer;
        std::vector<size_t> reads;
        uint32_t readConstantMs;  // debug text cuts the wait for the rest to 100 ms
    } cases[] = {
        {"block read", kReadBlock, {}, {readBlockReply()}, {4, 265}, 8000},
        {"block write's short reply", kWriteBlock, {}, {writeBlockReply()}, {4, 9}, 8000},
        {"debug text first", kReadBlock, {}, {kDebugText, readBlockReply()}, {4, 7, 4, 265}, 100},
        {"two debug texts first", kReadBlock, {}, {kDebugText, kDebugText, readBlockReply()},
         {4, 7, 4, 7, 4, 265}, 100},
        {"stale input drained in one read", kReadBlock, stale, {readBlockReply()},
         {1000, 4, 265}, 8000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Transport t;
        t.line->input.assign(c.waiting.begin(), c.waiting.end());
        t.line->replies.push_back(joined(c.answer));
        EXPECT_EQ(t.transaction(c.command), kOk);
        EXPECT_EQ(t.line->readSizes, c.reads);
        EXPECT_EQ(t.line->sent, c.command);  // in one write
        EXPECT_EQ(t.line->timeouts.readTotalConstantMs, c.readConstantMs);
        EXPECT_EQ(t.reply[0], 0x83);
        const Bytes& last = c.answer.back();
        EXPECT_EQ(t.reply[last.size() - 2], last[last.size() - 2]);
        EXPECT_EQ(t.reply[last.size() - 1], 0xEE);  // the checksum byte is not handed over
        EXPECT_EQ(t.log.count(kDebugLine), c.answer.size() - 1);
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
         {"WriteFile Com size 13 done 13", "ReadFile Com 0x19 0xb size:4 done 4", kDebugLine,
          "ERROR: ReadFile Com size:7"}},
        {"header after debug text fails", {}, {{}, {}, {EIO}}, {kDebugText, readBlockReply()},
         kErrPortIo,
         {"WriteFile Com size 13 done 13", "ReadFile Com 0x19 0xb size:4 done 4", kDebugLine,
          "ERROR: ReadFile Com size:4"}},
        {"debug text, then silence", {}, {}, {kDebugText}, kErrPortIo,
         {"WriteFile Com size 13 done 13", "ReadFile Com 0x19 0xb size:4 done 4", kDebugLine,
          "ReadFile Com 0x0 0x0 size:4 done 0"}},
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

TEST(ComTransportFailures, EndlessDebugTextEndsAfterTwentyOneOrFiftyOneTelegrams) {
    const std::vector<Bytes> flood(60, kDebugText);
    Transport programmer;
    programmer.line->replies.push_back(joined(flood));
    EXPECT_EQ(programmer.readBlock(), kErrReplyCode);
    EXPECT_EQ(programmer.log.count(kDebugLine), 21u);

    Transport library(Variant::Library);
    library.line->replies.push_back(joined(flood));
    EXPECT_EQ(library.transport->openLibrary(1, 115200), kErrReplyCode);
    EXPECT_EQ(library.log.count(kDebugLine), 51u);
    EXPECT_EQ(library.log.lines().back(), "GET_CAMERA_TYPE returned error -2146754548 \n");
    EXPECT_TRUE(library.transport->isOpen());  // a failed identification keeps the port
}

TEST(ComTransportLog, LibraryOpenIdentifyAndTheirLinesAreExact) {
    Transport library(Variant::Library);
    library.line->openError = ENOENT;
    EXPECT_EQ(library.transport->openLibrary(3, 115200), kErrLibraryPortOpen);
    EXPECT_EQ(library.log.lines(), Lines{"Error open Comport\n"});

    Transport t(Variant::Library);
    t.line->replies = {cameraTypeReply(0x1310, 77), telegram(0x0099),
                       cameraTypeReply(0x1310, 78)};
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
    // Identifying again on the open port asks no "verbose 0\r".
    EXPECT_EQ(t.transport->configureAndIdentify(76800), kOk);
    EXPECT_EQ(t.line->sent.size(), 5u + 15u + 5u);
    EXPECT_EQ(t.log.lines().back(), "CAMERA_TYPE: 1310 SerialNumber 78 \n");

    Transport silent(Variant::Library);
    EXPECT_EQ(silent.transport->configureAndIdentify(9600), kErrPortIo);
    EXPECT_EQ(silent.log.lines(), (Lines{"WriteFile Com size 5 done 5",
                                         "ReadFile Com 0x0 0x0 size:4 done 0",
                                         "GET_CAMERA_TYPE returned error -1609883643 \n"}));
}

TEST(ComTransportDrain, TakesWhatWaitsInOneChunkAndEndsWhileTheCameraKeepsSending) {
    Transport t;
    t.line->input.assign(1000, 0x55);
    EXPECT_EQ(t.transport->drain(), kOk);
    EXPECT_EQ(t.log.lines(), Lines{"Check ReadFile size:1000"});
    EXPECT_EQ(t.clock.totalSlept(), 100ms);  // one pause, then the queue is empty

    t.line->endless = true;
    auto sleptBefore = t.clock.totalSlept();
    EXPECT_EQ(t.transport->drain(0ms), kOk);  // a bound of 0 makes one pass
    EXPECT_EQ(t.clock.totalSlept() - sleptBefore, 0ms);
    sleptBefore = t.clock.totalSlept();
    EXPECT_EQ(t.transport->drain(), kOk);
    EXPECT_EQ(t.clock.totalSlept() - sleptBefore, 3000ms);
    EXPECT_EQ(t.log.lines().back(), "Drain stopped after 31000 bytes: input keeps arriving");
}

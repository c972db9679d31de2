// Session recordings: the event lines both ways, refusals of garbled lines with their line
// number, files cut off by a killed writer (plain and gzip), the words for telegrams and results,
// and the transcript with its summary.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "protocol/recording/recording_file.h"
#include "protocol/recording/recording_line.h"
#include "protocol/recording/telegram_text.h"
#include "protocol/recording/transcript.h"

using namespace recording;

namespace {

const char kHeader[] =
    "{\"ev\":\"header\",\"ms\":0,\"program\":\"kelvoflash-cli\",\"version\":\"1.11\","
    "\"interface\":\"com\",\"port\":0,\"device\":\"/dev/pts/9\",\"grabber\":\"\","
    "\"rates\":[57600],\"start\":\"2026-12-09T22:00:00Z\"}";

Event sent(uint64_t ms, Bytes bytes) {
    Event e;
    e.kind = EventKind::Sent;
    e.ms = ms;
    e.bytes = std::move(bytes);
    return e;
}
Event answer(EventKind kind, uint64_t ms, uint32_t result, Bytes bytes = {}) {
    Event e;
    e.kind = kind;
    e.ms = ms;
    e.result = result;
    e.bytes = std::move(bytes);
    return e;
}

std::string scratch(const char* name) {
    const std::string path = ::testing::TempDir() + "recording_test_" + name;
    std::remove(path.c_str());
    return path;
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(RecordingLines, EveryKindRoundTripsAndATelegramReadsAsWritten) {
    Event header;
    header.kind = EventKind::Header;
    header.program = "kelvoflash";
    header.version = "1.11";
    header.interface = "camlink";
    header.port = 1;
    header.grabber = "clser\"me4";
    header.rates = {9600, 115200};
    header.start = "2026-12-09T22:00:00Z";
    Event rate;
    rate.kind = EventKind::Rate;
    rate.ms = 77;
    rate.rate = 115200;
    rate.result = 0xA0332001;
    Event open;
    open.kind = EventKind::Open;
    open.port = 3;
    const Event events[] = {header,
                            open,
                            rate,
                            sent(12, {0x10, 0x01, 0x05, 0x00, 0x16}),
                            answer(EventKind::Reply, 14, 0x80001053, {0xD0, 0x01, 0x09, 0x00, 0x53, 0x10, 0x00, 0x80}),
                            answer(EventKind::Timeout, 700, 0xA00B2005)};
    for (const Event& e : events) {
        SCOPED_TRACE(encodeLine(e));
        Event back;
        std::string error;
        ASSERT_TRUE(parseLine(encodeLine(e), back, error)) << error;
        EXPECT_EQ(back.kind, e.kind);
        EXPECT_EQ(back.ms, e.ms);
        EXPECT_EQ(back.bytes, e.bytes);
        EXPECT_EQ(back.result, e.result);
        EXPECT_EQ(back.rate, e.rate);
        EXPECT_EQ(back.grabber, e.grabber);
        EXPECT_EQ(back.rates, e.rates);
    }
    EXPECT_EQ(encodeLine(events[3]), "{\"ev\":\"tx\",\"ms\":12,\"bytes\":\"1001050016\"}");
}

TEST(RecordingLines, AGarbledLineIsRefusedWithItsLineNumber) {
    const std::string tx = "{\"ev\":\"tx\",\"ms\":5,\"bytes\":\"1001050016\"}\n";
    const struct {
        std::string text;
        const char* error;
    } cases[] = {
        {"", "line 1: the recording does not start with its header"},
        {tx, "line 1: the recording does not start with its header"},
        {std::string(kHeader) + "\n" + kHeader + "\n", "line 2: a second header"},
        {std::string(kHeader) + "\n" + tx + "not json\n", "line 3: not a JSON object"},
        {std::string(kHeader) + "\n\n", "line 2: not a JSON object"},
        {std::string(kHeader) + "\n{\"ev\":\"blink\",\"ms\":5}\n", "line 2: unknown event \"blink\""},
        {std::string(kHeader) + "\n{\"ev\":\"rx\",\"ms\":5,\"bytes\":\"\"}\n", "line 2: no \"result\""},
        {std::string(kHeader) + "\n{\"ev\":\"tx\",\"ms\":5,\"bytes\":\"10010500\"}\n",
         "line 2: \"bytes\" is not a telegram of at least 5 bytes"},
        {std::string(kHeader) + "\n{\"ev\":\"tx\",\"ms\":5,\"bytes\":\"100105001g\"}\n",
         "line 2: \"bytes\" is not a string of hex bytes"},
        {std::string(kHeader) + "\n{\"ev\":\"tx\",\"ms\":-5,\"bytes\":\"1001050016\"}\n",
         "line 2: bad value of \"ms\""},
        {std::string(kHeader) + "\n{\"ev\":\"rate\",\"ms\":5,\"rate\":4294967296,\"result\":0}\n",
         "line 2: \"rate\" is not a number up to 4294967295"},
        {std::string(kHeader) + "\n" + tx.substr(0, tx.size() - 1) + " x\n", "line 2: text after the object"},
        {std::string(kHeader) + "\n{\"ev\":\"tx\",\"ev\":\"rx\"}\n", "line 2: \"ev\" given twice"},
        {std::string(kHeader) + "\n" + tx + tx + "{\"ev\":\"timeout\",\"ms\":\"7\",\"result\":0}\n",
         "line 4: \"ms\" is not a number up to 281474976710655"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Recording recording;
        std::string error;
        EXPECT_FALSE(parseRecording(c.text, recording, error));
        EXPECT_EQ(error, c.error);
    }
}

// A writer killed at any byte leaves every whole event: plain files end inside a line, gzip
// streams stop short of their end; both keep the events before the cut.
TEST(RecordingFiles, AFileCutAnywhereKeepsItsWholeEvents) {
    for (const char* name : {"cut.jsonl", "cut.jsonl.gz"}) {
        SCOPED_TRACE(name);
        const std::string path = scratch(name);
        std::string error;
        std::vector<off_t> sizes;  // the file's size after each event
        {
            auto writer = RecordingWriter::create(path, error);
            ASSERT_TRUE(writer) << error;
            std::string line;
            Event header;
            ASSERT_TRUE(parseLine(kHeader, header, error));
            ASSERT_TRUE(writer->write(header));
            for (uint64_t i = 0; i < 4; ++i) {
                struct stat st{};
                ::stat(path.c_str(), &st);
                sizes.push_back(st.st_size);
                ASSERT_TRUE(writer->write(sent(10 * i, {0x10, 0x01, 0x05, 0x00, 0x16})));
            }
            struct stat st{};
            ::stat(path.c_str(), &st);
            sizes.push_back(st.st_size);
        }
        const std::string whole = readAll(path);
        Recording full;
        ASSERT_TRUE(loadRecording(path, full, error)) << error;
        EXPECT_EQ(full.events.size(), 5u);
        for (size_t kept = 1; kept < sizes.size() - 1; ++kept) {
            // Cut a few bytes into the event after `kept - 1` sent telegrams.
            std::ofstream(path, std::ios::binary | std::ios::trunc)
                .write(whole.data(), std::streamsize(sizes[kept - 1] + 3));
            Recording cut;
            ASSERT_TRUE(loadRecording(path, cut, error)) << error;
            EXPECT_TRUE(cut.cut);
            EXPECT_EQ(cut.events.size(), kept);
        }
        std::remove(path.c_str());
    }
}

TEST(RecordingFiles, AnExistingFileIsNeverOverwrittenAndAMissingOneNamed) {
    const std::string path = scratch("kept.jsonl");
    std::ofstream(path) << "earlier recording\n";
    std::string error;
    EXPECT_FALSE(RecordingWriter::create(path, error));
    EXPECT_EQ(error, "cannot create the recording " + path + ": File exists");
    EXPECT_EQ(readAll(path), "earlier recording\n");
    Recording recording;
    EXPECT_FALSE(loadRecording(path + ".none", recording, error));
    EXPECT_EQ(error, "cannot open " + path + ".none: No such file or directory");
    EXPECT_FALSE(loadRecording(path, recording, error));
    EXPECT_EQ(error, path + " line 1: not a JSON object");
    std::remove(path.c_str());
}

TEST(TelegramText, NamesAddressesLengthsAndResults) {
    const struct {
        Bytes telegram;
        const char* text;
    } telegrams[] = {
        {{0x10, 0x01, 0x05, 0x00, 0x16}, "GET_CAMERA_TYPE length 5"},
        {{0x90, 0x01, 0x18, 0x00}, "GET_CAMERA_TYPE reply length 24"},
        {{0xC3, 0x11, 0x09, 0x00, 0x62, 0x10, 0x00, 0x80}, "WRITE_BLOCK error reply length 9"},
        {{0x03, 0x11, 0x0D, 0x01, 0x00, 0x01, 0x00, 0x00, 0xFF, 0x01, 0x00, 0x00}, "WRITE_BLOCK address 0x00000100 length 256"},
        {{0x03, 0x16, 0x0D, 0x00, 0x00, 0x00, 0x00, 0x80, 0x0F, 0x00, 0x00, 0x80}, "READ_EEPROM_BLOCK address 0x80000000 length 16"},
        {{0x10, 0x2A, 0x05, 0x00, 0x3F}, "0x2A10 length 5"},
        {{0x10, 0x01}, "a telegram of 2 bytes"},
    };
    for (const auto& t : telegrams) EXPECT_EQ(describeTelegram(t.telegram), t.text);
    EXPECT_EQ(resultText(0), "0x00000000 (done)");
    EXPECT_EQ(resultText(0x80001062), "0x80001062 (camera: write failed)");
    EXPECT_EQ(resultText(0x80332007),
              "0x80332007 (no reply: the grabber's flush, write or read failed or nothing came)");
    EXPECT_EQ(resultText(0x80001234), "0x80001234 (failure)");
}

TEST(Transcript, ReadsEventByEventAndSumsUpDevicesBlocksAndFailures) {
    const std::string text =
        std::string(kHeader) + "\n" +
        "{\"ev\":\"open\",\"ms\":1,\"port\":0}\n"
        "{\"ev\":\"tx\",\"ms\":1000,\"bytes\":\"03720d000000000000000000ff\"}\n"
        "{\"ev\":\"rx\",\"ms\":1002,\"result\":0,\"bytes\":\"8372\"}\n"
        "{\"ev\":\"tx\",\"ms\":1010,\"bytes\":\"03170d000000000007000000ff\"}\n"
        "{\"ev\":\"rx\",\"ms\":1012,\"result\":0,\"bytes\":\"8317\"}\n"
        "{\"ev\":\"tx\",\"ms\":1020,\"bytes\":\"03160d000000000007000000ff\"}\n"
        "{\"ev\":\"rx\",\"ms\":1022,\"result\":0,\"bytes\":\"8316\"}\n"
        "{\"ev\":\"tx\",\"ms\":1030,\"bytes\":\"03170d000800000008000000ff\"}\n"
        "{\"ev\":\"rx\",\"ms\":1032,\"result\":2147487842,\"bytes\":\"c31709006210008\"}\n";
    Recording recording;
    std::string error;
    // The last line's bytes are odd in number: refused, with its line.
    EXPECT_FALSE(parseRecording(text, recording, error));
    EXPECT_EQ(error, "line 10: \"bytes\" is not a string of hex bytes");
    std::string fixed = text;
    fixed.replace(fixed.find("c31709006210008"), 15, "c317090062100080");
    fixed += "{\"ev\":\"tx\",\"ms\":2000,\"bytes\":\"1001050016\"}\n{\"ev\":\"timeout\",\"ms\":2500";
    ASSERT_TRUE(parseRecording(fixed, recording, error)) << error;
    EXPECT_TRUE(recording.cut);
    const std::string shown = transcript(recording);
    for (const char* line : {
             "Recording by kelvoflash-cli 1.11, started 2026-12-09T22:00:00Z\n"
             "Interface: com port 0 (/dev/pts/9), rates 57600\n",
             "    0.001  open port 0\n",
             "    1.000  ->  OPEN_EEPROM length 13\n",
             "    1.010  ->  WRITE_EEPROM_BLOCK address 0x00000000 length 8\n",
             "    1.012  <-  a telegram of 2 bytes  0x00000000 (done)\n",
             "    1.032  <-  WRITE_EEPROM_BLOCK error reply length 9  0x80001062 (camera: write failed)\n",
             "    2.000  ->  GET_CAMERA_TYPE length 5\n",
             "           (the recording was cut off inside the next event)\n",
             "Summary: 5 telegrams sent, 4 replies, 0 without reply\n"
             "Devices touched: EEPROM\n"
             "Blocks written: 1 (8 bytes), read back: 1 (8 bytes)\n"
             "Failures: 1\n"
             "  line 10 at 1032 ms: WRITE_EEPROM_BLOCK address 0x00000008 length 1: 0x80001062 "
             "(camera: write failed)\n"})
        EXPECT_NE(shown.find(line), std::string::npos) << line << "\nin\n" << shown;
}

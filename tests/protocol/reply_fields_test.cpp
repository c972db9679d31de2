// The typed decoders of reply records: a field or record counts only when the reply's own length
// field reaches it, whatever the caller's buffer holds beyond.

#include "protocol/reply_fields.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "protocol/commands.h"
#include "protocol/little_endian.h"

using namespace protocol;

namespace {

// A 512-byte buffer whose reply has `payload` bytes after the header and announces `count`
// records; every record is named after its index ("r0", "r1", ...), the rest of the buffer is
// 0x55 so that nothing past the reply can pass for data.
std::vector<uint8_t> recordsReply(uint16_t count, size_t payload, size_t recordSize) {
    std::vector<uint8_t> bytes(512, 0x55);
    std::memset(bytes.data(), 0, 4 + payload);
    writeU16(&bytes[2], uint16_t(4 + payload + 1));
    writeU16(&bytes[field::RECORD_COUNT], count);
    for (size_t i = 0; field::RECORDS + (i + 1) * recordSize <= 4 + payload; ++i) {
        uint8_t* record = &bytes[field::RECORDS + i * recordSize];
        record[0] = 'r';
        record[1] = uint8_t('0' + i);
        if (recordSize == field::FIRMWARE_RECORD_SIZE) {
            record[field::FIRMWARE_MINOR] = uint8_t(i);
            record[field::FIRMWARE_MAJOR] = 5;
            writeU16(record + field::FIRMWARE_VARIANT, uint16_t(100 + i));
        } else {
            writeU16(record + field::HARDWARE_CODE_A, uint16_t(0xA0 + i));
            writeU16(record + field::HARDWARE_CODE_B, uint16_t(0xB0 + i));
        }
    }
    return bytes;
}

constexpr size_t kHw = field::HARDWARE_RECORD_SIZE;
constexpr size_t kFw = field::FIRMWARE_RECORD_SIZE;

TEST(ReplyFields, RecordCountsAreHeldAgainstTheReplyLength) {
    const struct {
        const char* name;
        uint16_t count;
        size_t payload;      // bytes after the header
        size_t recordSize;   // the layout the reply is filled with
        size_t page, total;  // for the page decoder
        int hardware, firmware, paged;  // records decoded, -1 for none
    } rows[] = {
        {"two boards", 2, 2 + 2 * kHw, kHw, 0, 2, 2, 2, 2},
        {"two firmware records", 2, 2 + 2 * kFw, kFw, 0, 2, -1, 2, 2},
        {"one byte short", 2, 2 + 2 * kFw - 1, kFw, 0, 2, -1, -1, -1},
        {"page 1 of 12 holds two", 12, 2 + 10 * kFw, kFw, 1, 12, -1, 10, 2},
        {"page 1 of 12 too short", 12, 2 + 1 * kFw, kFw, 1, 12, -1, -1, -1},
        {"eleven boards cannot be", 11, 2 + 10 * kHw, kHw, 0, 11, -1, 10, 10},
        {"no records", 0, 2, kHw, 0, 0, 0, 0, 0},
        {"no room for the count", 0, 1, kHw, 0, 0, -1, -1, -1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto bytes = recordsReply(row.count, row.payload, row.recordSize);
        const auto boards = hardwareRecordsOf(bytes.data(), cap::GET_HARDWARE_VERSIONS);
        EXPECT_EQ(boards ? int(boards->size()) : -1, row.hardware);
        const auto firmware = firmwareRecordsOf(bytes.data(), cap::GET_FIRMWARE_VERSIONS);
        EXPECT_EQ(firmware ? int(firmware->records.size()) : -1, row.firmware);
        if (firmware) {
            EXPECT_EQ(firmware->announced, row.count);
        }
        const auto page =
            firmwarePageRecordsOf(bytes.data(), cap::GET_FIRMWARE_VERSIONS, row.page, row.total);
        EXPECT_EQ(page ? int(page->size()) : -1, row.paged);
        // Each record's fields come from its own place in the reply.
        if (boards && row.recordSize == kHw) {
            for (size_t i = 0; i < boards->size(); ++i) {
                EXPECT_EQ((*boards)[i].name, "r" + std::to_string(i));
                EXPECT_EQ((*boards)[i].codeA, 0xA0 + i);
                EXPECT_EQ((*boards)[i].codeB, 0xB0 + i);
            }
        }
        if (firmware && row.recordSize == kFw) {
            for (size_t i = 0; i < firmware->records.size(); ++i) {
                const FirmwareRecord& record = firmware->records[i];
                EXPECT_EQ(record.name, "r" + std::to_string(i));
                EXPECT_EQ(record.variant, int(100 + i));
                EXPECT_EQ(record.version(), int(0x500 + i));
            }
        }
    }
}

TEST(ReplyFields, CameraTypeFieldsOnlyAsFarAsTheReplyReaches) {
    const struct {
        size_t payload;
        bool typed;
        uint32_t serial;
        bool linkWord;
    } rows[] = {
        {1, false, 0, false},   {2, true, 0, false},    {7, true, 0, false},
        {8, true, 4711, false}, {17, true, 4711, false}, {18, true, 4711, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.payload);
        std::vector<uint8_t> bytes(cap::GET_CAMERA_TYPE, 0x55);
        writeU16(&bytes[2], uint16_t(4 + row.payload + 1));
        writeU16(&bytes[field::CAMERA_TYPE], 0x1300);
        writeU32(&bytes[field::SERIAL_NUMBER], 4711);
        writeU16(&bytes[field::LINK_WORD], 0x0203);
        const auto typed = cameraTypeOf(bytes.data(), uint32_t(bytes.size()));
        ASSERT_EQ(typed.has_value(), row.typed);
        if (!typed) continue;
        EXPECT_EQ(typed->type, 0x1300);
        EXPECT_EQ(typed->serialNumber, row.serial);
        EXPECT_EQ(typed->linkWord.value_or(0), row.linkWord ? 0x0203 : 0);
    }
    EXPECT_FALSE(cameraTypeOf(nullptr, 23).has_value());
}

}  // namespace

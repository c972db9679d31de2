// The readers of the device file formats, from text or bytes in memory and from files.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "programmer/files/binary_reader.h"
#include "programmer/files/device_file_result.h"
#include "programmer/files/intel_hex_reader.h"
#include "programmer/files/jedec_reader.h"
#include "programmer/files/word_list_reader.h"
#include "programmer/files/xilinx_bit_reader.h"
#include "tests/files/sample_files.h"

using namespace files;
using files_test::bitFile;
using files_test::hexEndRecord;
using files_test::hexRecord;

namespace {

class Readers : public ::testing::Test {
protected:
    std::vector<uint8_t> image = std::vector<uint8_t>(kDeviceImageSize, 0xFF);
    DeviceImageInfo info;

    protocol::ErrorCode hex(const std::string& text) {
        return ReadIntelHexText(text, image.data(), image.size(), info);
    }
    protocol::ErrorCode rom(const std::string& text) {
        return ReadWordListText(text, image.data(), image.size(), info);
    }
    protocol::ErrorCode jed(const std::string& text) {
        return ReadJedecText(text, image.data(), image.size(), info);
    }
    protocol::ErrorCode bit(const std::vector<uint8_t>& bytes) {
        return ReadXilinxBitBytes(bytes.data(), bytes.size(), image.data(), image.size(), info);
    }
    uint32_t word(size_t index) const {
        return uint32_t(image[4 * index]) | uint32_t(image[4 * index + 1]) << 8 |
               uint32_t(image[4 * index + 2]) << 16 | uint32_t(image[4 * index + 3]) << 24;
    }
};

}  // namespace

TEST_F(Readers, IntelHexAddressBases) {
    const std::string data = hexRecord(0x00, 0x0000, {1, 2, 3});
    ASSERT_EQ(hex(hexRecord(0x04, 0, {0x80, 0x00}) + data + hexEndRecord()), READ_OK);
    EXPECT_EQ(info.lowestOffset, 0u);
    EXPECT_EQ(info.highestOffset, 2u);
    EXPECT_EQ(image[2], 3);

    ASSERT_EQ(hex(hexRecord(0xFF, 0, {0x00, 0x01}) + data + hexEndRecord()), READ_OK);
    EXPECT_EQ(info.lowestOffset, 0x10000u);
    EXPECT_EQ(image[0x10002], 3);

    ASSERT_EQ(hex(hexRecord(0x02, 0, {0x10, 0x00}) + hexRecord(0x00, 0x0004, {9}) +
                  hexRecord(0x05, 0, {0, 0, 0, 0}) + hexRecord(0x00, 0x0001, {8}) + hexEndRecord()),
              READ_OK);
    EXPECT_EQ(info.lowestOffset, 0x10001u);
    EXPECT_EQ(info.highestOffset, 0x10004u);
}

TEST_F(Readers, IntelHexRefusals) {
    const std::string data = hexRecord(0x00, 0x0000, {1, 2, 3});
    std::string badSum = data;
    badSum[badSum.size() - 2] ^= 1;
    EXPECT_EQ(hex(badSum + hexEndRecord()), ERR_FILE_CHECKSUM);
    EXPECT_EQ(hex(data), ERR_FILE_READ);
    EXPECT_EQ(hex(data + ":00000101FE\n"), ERR_FILE_FORMAT);
    EXPECT_EQ(hex(hexRecord(0x03, 0, {0, 0, 0, 0}) + data + hexEndRecord()), ERR_FILE_FORMAT);
    // Beyond the image, and below it (a linear address under the flash base).
    EXPECT_EQ(hex(hexRecord(0xFF, 0, {0x00, 0x20}) + data + hexEndRecord()), ERR_FILE_DATA);
    EXPECT_EQ(
        hex(hexRecord(0xFF, 0, {0x00, 0x1F}) + hexRecord(0x00, 0xFFFF, {1, 2}) + hexEndRecord()),
        ERR_FILE_DATA);
    EXPECT_EQ(hex(hexRecord(0x04, 0, {0x7F, 0xFF}) + data + hexEndRecord()), ERR_FILE_DATA);
    EXPECT_EQ(hex(hexRecord(0x04, 0, {0x80}) + data + hexEndRecord()), ERR_FILE_FORMAT);
    // No data at all is not an image.
    EXPECT_EQ(hex(hexEndRecord()), ERR_FILE_DATA);
}

TEST_F(Readers, IntelHexLinesThatAreNotRecords) {
    const std::string data = hexRecord(0x00, 0x0000, {1, 2, 3});
    // Blank lines and DOS line ends carry nothing and are passed over.
    ASSERT_EQ(hex("\n" + data + "\r\n  \r\n" + hexEndRecord()), READ_OK);
    // A line too short for its byte count, or with a non-hex digit, is refused rather than
    // completed with an earlier line's values.
    EXPECT_EQ(hex(data + data.substr(0, data.size() - 4) + "\n" + hexEndRecord()), ERR_FILE_FORMAT);
    EXPECT_EQ(hex(data + ":0\n" + hexEndRecord()), ERR_FILE_FORMAT);
    std::string nonHex = data;
    nonHex[9] = 'G';
    EXPECT_EQ(hex(nonHex + hexEndRecord()), ERR_FILE_FORMAT);
    // The longest record (255 bytes) is one line.
    ASSERT_EQ(hex(hexRecord(0x00, 0x0100, std::vector<uint8_t>(255, 0x5A)) + hexEndRecord()),
              READ_OK);
    EXPECT_EQ(info.highestOffset, 0x100u + 254);
}

TEST_F(Readers, WordList) {
    ASSERT_EQ(rom("0:1234\n"), READ_OK);
    EXPECT_EQ(info.lowestOffset, 0u);
    EXPECT_EQ(info.highestOffset, 1u);
    EXPECT_EQ(image[0], 0x34);
    EXPECT_EQ(image[1], 0x12);

    ASSERT_EQ(rom("10:ABCDEF\r\n8:1\n"), READ_OK);
    EXPECT_EQ(info.lowestOffset, 0x10u);
    EXPECT_EQ(info.highestOffset, 0x21u);
    EXPECT_EQ(image[0x20], 0xEF);
    EXPECT_EQ(image[0x21], 0xCD);

    EXPECT_EQ(rom("0:1\n\n2:3\n"), ERR_FILE_FORMAT);
    EXPECT_EQ(rom("0:1\n2 3\n"), ERR_FILE_FORMAT);
    EXPECT_EQ(rom("0:1\nzz:3\n"), ERR_FILE_FORMAT);
    EXPECT_EQ(rom("0:\n"), ERR_FILE_FORMAT);
    // Words at or beyond half the image size would be written outside it.
    EXPECT_EQ(rom("FFFFF:1\n"), READ_OK);
    EXPECT_EQ(rom("100000:1\n"), ERR_FILE_DATA);
    EXPECT_EQ(rom("FFFFFFFFFFFFFFFFFFFF:1\n"), ERR_FILE_DATA);
    EXPECT_EQ(rom(""), ERR_FILE_DATA);
}

TEST_F(Readers, JedecWordOrder) {
    std::string text = "QF1312*\nC1234*\nN note\n*\n";
    for (int line = 0; line < 10; ++line) {
        // Fuse k of line n set where k = n (first group) and k = 127 (last group).
        std::string fuses(128, '0');
        fuses[size_t(line)] = '1';
        fuses[127] = '1';
        text += "L" + std::to_string(line * 128) + " " + fuses + "*\n";
    }
    text += "U" + std::string("1") + std::string(30, '0') + "1*\n";
    ASSERT_EQ(jed(text), READ_OK);
    EXPECT_EQ(info.length(), 164u);
    for (size_t n = 0; n < 10; ++n) {
        EXPECT_EQ(word(4 * n + 3), 1u << n) << n;
        EXPECT_EQ(word(4 * n + 2), 0u);
        EXPECT_EQ(word(4 * n), 0x80000000u);
    }
    EXPECT_EQ(word(40), 0x80000001u);
    EXPECT_EQ(image[164], 0xFF);
}

TEST_F(Readers, JedecRefusals) {
    const std::string line = "L0 " + std::string(128, '1') + "\n";
    std::string eleven;
    for (int i = 0; i < 11; ++i)
        eleven += line;
    EXPECT_EQ(jed(eleven), ERR_FILE_DATA);
    EXPECT_EQ(jed("L0000" + std::string(128, '1') + "\n"), ERR_FILE_DATA);
    EXPECT_EQ(jed("U" + std::string(33, '1') + "\n"), ERR_FILE_DATA);
    EXPECT_EQ(jed("*\nQF0*\n"), ERR_FILE_DATA);
    EXPECT_EQ(ReadJedecText(line, image.data(), 1695, info), ERR_FILE_DATA);
}

TEST_F(Readers, XilinxBitTargets) {
    const std::vector<uint8_t> stream = {1, 2, 3, 4};
    // The image of a 3s250evq100 file starts at its start pattern.
    std::vector<uint8_t> file = bitFile("3s250evq100", true, 10, stream);
    ASSERT_EQ(bit(file), READ_OK);
    const size_t start = file.size() - stream.size() - 8;
    EXPECT_EQ(info.lowestOffset, 0u);
    EXPECT_EQ(info.length(), file.size() - start);
    EXPECT_EQ(image[0], 0xFF);
    EXPECT_EQ(image[4], 0xAA);
    EXPECT_EQ(image[8], 1);

    file = bitFile("3sd3400acs484", false, 3, stream);
    ASSERT_EQ(bit(file), READ_OK);
    EXPECT_EQ(info.length(), file.size());
    EXPECT_TRUE(std::equal(file.begin(), file.end(), image.begin()));

    for (const char* part : {"3s1200eft256", "3s4000fg676", "3sd1800acs484", "xc9999"}) {
        SCOPED_TRACE(part);
        EXPECT_EQ(bit(bitFile(part, std::string(part) != "3sd1800acs484", 0, stream)),
                  ERR_FILE_FORMAT);
    }
    // The start pattern of the other kind, or one beyond the first 1000 positions.
    EXPECT_EQ(bit(bitFile("3s250evq100", false, 0, stream)), ERR_FILE_FORMAT);
    EXPECT_EQ(bit(bitFile("3s250evq100", true, 1000, stream)), ERR_FILE_FORMAT);
    // A pattern at offset 0 does not count.
    std::vector<uint8_t> atZero = {0xFF, 0xFF, 0xFF, 0xFF, 0xAA, 0x99, 0x55, 0x66};
    EXPECT_EQ(bit(atZero), ERR_FILE_FORMAT);
}

TEST_F(Readers, XilinxBitHeaderLimits) {
    std::vector<uint8_t> file = bitFile(std::string(300, 'x'), true, 0, {1});
    EXPECT_EQ(bit(file), ERR_FILE_DATA);
    // A header cut short reads as an empty part name.
    file = bitFile("3s250evq100", true, 0, {1});
    file.resize(20);
    EXPECT_EQ(bit(file), ERR_FILE_FORMAT);
    EXPECT_EQ(bit({}), ERR_FILE_FORMAT);
    // It must fit behind the working offset.
    std::vector<uint8_t> big(kDeviceImageSize - 511, 0);
    EXPECT_EQ(bit(big), ERR_FILE_DATA);
}

TEST_F(Readers, FilesOnDisk) {
    files_test::TempFolder folder;
    const std::string bin = folder.path("e_1_V1_0.bin");
    ASSERT_TRUE(files_test::writeFile(bin, std::vector<uint8_t>(17, 0x11)));
    ASSERT_EQ(ReadBinary(bin, image.data(), image.size(), info), READ_OK);
    EXPECT_EQ(info.length(), 17u);
    EXPECT_EQ(ReadBinary(bin, image.data(), 16, info), ERR_FILE_DATA);
    ASSERT_TRUE(files_test::writeFile(bin, std::vector<uint8_t>{}));
    EXPECT_EQ(ReadBinary(bin, image.data(), image.size(), info), ERR_FILE_DATA);

    const std::string hexPath = folder.path("m_1_V1_0.hex");
    std::string text = hexRecord(0x04, 0, {0x80, 0x00});
    for (uint16_t a = 0; a < 0x4000; a += 16)
        text += hexRecord(0x00, a, std::vector<uint8_t>(16, uint8_t(a >> 4)));
    ASSERT_TRUE(files_test::writeFile(hexPath, text + hexEndRecord()));
    ASSERT_EQ(ReadIntelHex(hexPath, image.data(), image.size(), info), READ_OK);
    EXPECT_EQ(info.highestOffset, 0x3FFFu);
    EXPECT_EQ(image[0x3FF0], 0xFF);

    const std::string bitPath = folder.path("f_1_V1_0.bit");
    ASSERT_TRUE(files_test::writeFile(bitPath, bitFile("3s250evq100", true, 120, {7})));
    ASSERT_EQ(ReadXilinxBit(bitPath, image.data(), image.size(), info), READ_OK);
    EXPECT_EQ(info.length(), 9u);

    for (auto reader : {ReadIntelHex, ReadWordList, ReadBinary, ReadXilinxBit, ReadJedec})
        EXPECT_EQ(reader(folder.path("none"), image.data(), image.size(), info), ERR_FILE_OPEN);
}

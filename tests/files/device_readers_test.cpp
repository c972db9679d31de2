// The readers of the device file formats, from text or bytes in memory and from files; device
// file names and the choice of reader by extension.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "programmer/files/binary_reader.h"
#include "programmer/files/device_file.h"
#include "programmer/files/device_file_result.h"
#include "programmer/files/file_io.h"
#include "programmer/files/intel_hex_reader.h"
#include "programmer/files/jedec_reader.h"
#include "programmer/files/word_list_reader.h"
#include "programmer/files/xilinx_bit_reader.h"
#include "protocol/little_endian.h"
#include "tests/tessiport/test_support.h"
#include "tools/temp_folder.h"

using namespace files;
using tools::TempFolder;

namespace {

// One Intel HEX record line with its checksum, e.g. hexRecord(0x04, 0, {0x80, 0x00}).
std::string hexRecord(uint8_t type, uint16_t address, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> bytes = {uint8_t(data.size()), uint8_t(address >> 8), uint8_t(address),
                                  type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    uint8_t sum = 0;
    for (uint8_t b : bytes)
        sum = uint8_t(sum + b);
    bytes.push_back(uint8_t(0x100 - sum));
    std::string line = ":";
    char digits[3];
    for (uint8_t b : bytes) {
        std::snprintf(digits, sizeof digits, "%02X", b);
        line += digits;
    }
    return line + "\n";
}

const std::string kHexEndRecord = ":00000001FF\n";

// A bit file: header mark, fields a-e, `gap` filler bytes, the start pattern, the bitstream.
std::vector<uint8_t> bitFile(const std::string& partName, bool patternA, size_t gap,
                             const std::vector<uint8_t>& bitstream) {
    std::vector<uint8_t> file = {0x00, 0x09, 0x0F, 0xF0, 0x0F, 0xF0, 0x0F,
                                 0xF0, 0x0F, 0xF0, 0x00, 0x00, 0x01};
    auto field = [&](char key, const std::string& text) {
        file.push_back(uint8_t(key));
        const size_t length = text.size() + 1;
        file.push_back(uint8_t(length >> 8));
        file.push_back(uint8_t(length));
        file.insert(file.end(), text.begin(), text.end());
        file.push_back(0);
    };
    field('a', "design.ncd;UserID=0xFFFFFFFF");
    field('b', partName);
    field('c', "2008/06/05");
    field('d', "10:20:00");
    const size_t streamLength = gap + 8 + bitstream.size();
    file.push_back('e');
    for (int shift = 24; shift >= 0; shift -= 8)
        file.push_back(uint8_t(streamLength >> shift));
    file.insert(file.end(), gap, 0x00);
    const std::vector<uint8_t> pattern =
        patternA ? std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 0xAA, 0x99, 0x55, 0x66}
                 : std::vector<uint8_t>(8, 0xFF);
    file.insert(file.end(), pattern.begin(), pattern.end());
    file.insert(file.end(), bitstream.begin(), bitstream.end());
    return file;
}

class Readers : public ::testing::Test {
protected:
    std::vector<uint8_t> image = std::vector<uint8_t>(kDeviceImageSize, 0xFF);
    DeviceImageInfo info;

    protocol::ErrorCode hex(const std::string& text) { return readText(ReadIntelHexText, text); }
    protocol::ErrorCode rom(const std::string& text) { return readText(ReadWordListText, text); }
    protocol::ErrorCode jed(const std::string& text) { return readText(ReadJedecText, text); }
    protocol::ErrorCode readText(auto reader, const std::string& text) {
        return reader(text, image.data(), image.size(), info);
    }
    protocol::ErrorCode bit(const std::vector<uint8_t>& bytes) {
        return ReadXilinxBitBytes(bytes.data(), bytes.size(), image.data(), image.size(), info);
    }
    uint32_t word(size_t index) const { return protocol::readU32(&image[4 * index]); }
};

}  // namespace

// Representative refusals; fuzz/ covers the parsers broadly.
TEST_F(Readers, IntelHexAddressBasesAndRefusals) {
    const std::string data = hexRecord(0x00, 0x0000, {1, 2, 3});
    ASSERT_EQ(hex(hexRecord(0x04, 0, {0x80, 0x00}) + data + kHexEndRecord), READ_OK);
    EXPECT_EQ(info.lowestOffset, 0u);
    EXPECT_EQ(info.highestOffset, 2u);
    EXPECT_EQ(image[2], 3);
    ASSERT_EQ(hex(hexRecord(0x02, 0, {0x10, 0x00}) + hexRecord(0x00, 0x0004, {9}) +
                  hexRecord(0x05, 0, {0, 0, 0, 0}) + hexRecord(0x00, 0x0001, {8}) + kHexEndRecord),
              READ_OK);
    EXPECT_EQ(info.lowestOffset, 0x10001u);
    EXPECT_EQ(info.highestOffset, 0x10004u);

    std::string badSum = data;
    badSum[badSum.size() - 2] ^= 1;
    EXPECT_EQ(hex(badSum + kHexEndRecord), ERR_FILE_CHECKSUM);
    EXPECT_EQ(hex(data), ERR_FILE_READ);
    // Beyond the image, and below it (a linear address under the flash base).
    EXPECT_EQ(hex(hexRecord(0xFF, 0, {0x00, 0x20}) + data + kHexEndRecord), ERR_FILE_DATA);
    EXPECT_EQ(hex(hexRecord(0x04, 0, {0x7F, 0xFF}) + data + kHexEndRecord), ERR_FILE_DATA);
    EXPECT_EQ(hex(kHexEndRecord), ERR_FILE_DATA);
    // Blank lines and DOS line ends are passed over; a line too short for its byte count is
    // refused rather than completed with an earlier line's values.
    ASSERT_EQ(hex("\n" + data + "\r\n  \r\n" + kHexEndRecord), READ_OK);
    EXPECT_EQ(hex(data + data.substr(0, data.size() - 4) + "\n" + kHexEndRecord), ERR_FILE_FORMAT);
}

TEST_F(Readers, WordList) {
    ASSERT_EQ(rom("10:ABCDEF\r\n8:1\n"), READ_OK);
    EXPECT_EQ(info.lowestOffset, 0x10u);
    EXPECT_EQ(info.highestOffset, 0x21u);
    EXPECT_EQ(image[0x20], 0xEF);
    EXPECT_EQ(image[0x21], 0xCD);
    EXPECT_EQ(rom("0:1\n\n2:3\n"), ERR_FILE_FORMAT);
    // Words at or beyond half the image size would be written outside it.
    EXPECT_EQ(rom("FFFFF:1\n"), READ_OK);
    EXPECT_EQ(rom("100000:1\n"), ERR_FILE_DATA);
}

TEST_F(Readers, JedecWordOrderAndLimits) {
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
    // An eleventh fuse line, or an image that does not fit.
    EXPECT_EQ(jed(text + "L1280 " + std::string(128, '1') + "*\n"), ERR_FILE_DATA);
    EXPECT_EQ(ReadJedecText(text, image.data(), 1695, info), ERR_FILE_DATA);
}

TEST_F(Readers, XilinxBitTargets) {
    const std::vector<uint8_t> stream = {1, 2, 3, 4};
    // The image of a 3s250evq100 file starts at its start pattern.
    std::vector<uint8_t> file = bitFile("3s250evq100", true, 10, stream);
    ASSERT_EQ(bit(file), READ_OK);
    const size_t start = file.size() - stream.size() - 8;
    EXPECT_EQ(info.length(), file.size() - start);
    EXPECT_EQ(image[4], 0xAA);
    EXPECT_EQ(image[8], 1);

    file = bitFile("3sd3400acs484", false, 3, stream);
    ASSERT_EQ(bit(file), READ_OK);
    EXPECT_EQ(info.length(), file.size());
    EXPECT_TRUE(std::equal(file.begin(), file.end(), image.begin()));

    // An unknown part, or a start pattern beyond the first 1000 positions.
    EXPECT_EQ(bit(bitFile("xc9999", true, 0, stream)), ERR_FILE_FORMAT);
    EXPECT_EQ(bit(bitFile("3s250evq100", true, 1000, stream)), ERR_FILE_FORMAT);
    // A part name one longer than its buffer holds (the longest that fits is only unknown), and a
    // file that does not fit behind the working offset.
    EXPECT_EQ(bit(bitFile(std::string(255, 'x'), true, 0, {1})), ERR_FILE_FORMAT);
    EXPECT_EQ(bit(bitFile(std::string(256, 'x'), true, 0, {1})), ERR_FILE_DATA);
    EXPECT_EQ(bit(std::vector<uint8_t>(kDeviceImageSize - 511, 0)), ERR_FILE_DATA);
}

// Runs `read` and gives it a second: a reader blocked in a FIFO's open or read is released by
// opening the FIFO for writing, so the test fails instead of hanging.
protocol::ErrorCode withinASecond(const std::string& fifo,
                                  std::function<protocol::ErrorCode()> read) {
    auto done = std::async(std::launch::async, read);
    if (done.wait_for(std::chrono::seconds(1)) != std::future_status::ready) {
        ADD_FAILURE() << "still reading " << fifo << " after a second";
        const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) ::close(writer);
    }
    return done.get();
}

// Neither a FIFO (which blocks) nor a device such as /dev/zero (which never ends) is read, and
// a file larger than its format allows is refused before reading.
TEST_F(Readers, OnlyRegularFilesOfTheirFormatsSizeAreRead) {
    TempFolder folder;
    for (const char* name : {"h_1_V1_0.hex", "r_1_V1_0.rom", "b_1_V1_0.bin", "x_1_V1_0.bit",
                             "j_1_V1_0.jed", "e_1_V1_0.eep"}) {
        const std::string fifo = folder.path(std::string("f") + name);
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        EXPECT_EQ(withinASecond(fifo, [&] {
                      return ReadDeviceFile(fifo, image.data(), image.size(), info);
                  }),
                  ERR_FILE_NOT_REGULAR)
            << name;
        const std::string zero = folder.path(std::string("z") + name);
        ASSERT_EQ(::symlink("/dev/zero", zero.c_str()), 0);
        EXPECT_EQ(ReadDeviceFile(zero, image.data(), image.size(), info), ERR_FILE_NOT_REGULAR)
            << name;
    }
    EXPECT_STREQ(deviceFileErrorText(ERR_FILE_NOT_REGULAR), "Not a regular file");

    std::vector<uint8_t> bytes;
    // Sparse files: their length costs no disk.
    const auto sized = [&](const std::string& name, off_t size) {
        const std::string path = folder.path(name);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0600);
        EXPECT_EQ(::ftruncate(fd, size), 0);
        ::close(fd);
        return path;
    };
    EXPECT_EQ(readWholeFile(sized("big.qup", off_t(kUpdateFileMaxSize) + 1), bytes),
              kErrFileTooLarge);
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(cantOpenFileMessage("big.qup", kErrFileTooLarge),
              "Can't open file big.qup: larger than an update file can be (83886379 bytes)\n");
    for (const auto& [name, size] : {std::pair{"h_1_V1_0.hex", off_t(64) << 20},
                                     std::pair{"j_1_V1_0.jed", off_t(1) << 20},
                                     std::pair{"b_1_V1_0.bin", off_t(kDeviceImageSize)}})
        EXPECT_EQ(ReadDeviceFile(sized(name, size + 1), image.data(), image.size(), info),
                  ERR_FILE_TOO_LARGE)
            << name;
}

TEST(DeviceFileName, VariantAndVersionFromTheName) {
    struct Case {
        const char* path;
        bool ok;
        int variant, major, minor;
    };
    const Case cases[] = {
        {"a_1_v2_3.hex", true, 1, 2, 3},
        {"C:\\fw_9_V9_9\\main_004_V03_02.hex", true, 4, 3, 2},
        {"main_ -1_V300_+7rest", true, 0xFFFF, 300 & 0xFF, 7},
        {"main_fpga_004_V03_02.bit", false, 0, 0, 0},
        {"a_1_V2.hex", false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        VersionBlock version;
        ASSERT_EQ(parseDeviceFileNameText(c.path, version), c.ok);
        if (!c.ok)
            continue;
        EXPECT_EQ(version.variant, c.variant);
        EXPECT_EQ(version.versionMajor, c.major);
        EXPECT_EQ(version.versionMinor, c.minor);
    }
}

// Files on disk: device file names, the choice of reader by extension, each reader's refusal of
// a missing file and the binary reader's of one larger than its buffer.
TEST_F(Readers, DeviceFileNameRulesAndExtensionChoice) {
    TempFolder folder;
    auto read = [&](const std::string& path) {
        return ReadDeviceFile(path, image.data(), image.size(), info);
    };
    EXPECT_EQ(read("a.hx"), ERR_FILE_NAME);
    EXPECT_EQ(read("a_1_2_3.hex"), ERR_FILE_OPEN);
    for (auto reader : {ReadIntelHex, ReadWordList, ReadBinary, ReadXilinxBit, ReadJedec})
        EXPECT_EQ(reader(folder.path("none"), image.data(), image.size(), info), ERR_FILE_OPEN);
    const std::string bin = folder.path("e_1_V1_0.bin");
    ASSERT_EQ(writeFileSafely(bin, std::vector<uint8_t>(17, 0x11)), 0);
    ASSERT_EQ(ReadBinary(bin, image.data(), image.size(), info), READ_OK);
    EXPECT_EQ(info.length(), 17u);
    EXPECT_EQ(ReadBinary(bin, image.data(), 16, info), ERR_FILE_TOO_LARGE);

    // Upper-case extensions choose the same reader; the name's version reaches the result.
    libtest::writeText(folder.path("main_004_V03_02.HEX"),
                       hexRecord(0, 0x10, {0xAB}) + kHexEndRecord);
    ASSERT_EQ(read(folder.path("main_004_V03_02.HEX")), READ_OK);
    EXPECT_EQ(info.lowestOffset, 0x10u);
    EXPECT_EQ(info.length(), 1u);
    EXPECT_EQ(info.version.variant, 4);
    EXPECT_EQ(info.version.version(), 0x0302);
    EXPECT_EQ(image[0x10], 0xAB);
    // The time stamp is the file's time in UTC; a file that does not exist gives none.
    VersionBlock version;
    ASSERT_TRUE(ParseDeviceFileName(folder.path("main_004_V03_02.HEX"), version));
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    EXPECT_EQ(version.year, utc.tm_year + 1900);
    EXPECT_EQ(version.month, utc.tm_mon + 1);
    ASSERT_TRUE(ParseDeviceFileName(folder.path("x_1_V2_3.bin"), version));
    EXPECT_EQ(version.year, 0);
    EXPECT_EQ(version.variant, 1);

    EXPECT_EQ(readerForPath("x.eep"), readerForPath("x.hex"));
    EXPECT_EQ(readerForPath("x.qup"), nullptr);
}

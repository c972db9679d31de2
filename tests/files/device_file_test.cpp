// Device file names and the choice of reader by extension.

#include <gtest/gtest.h>

#include <ctime>
#include <vector>

#include "programmer/files/device_file.h"
#include "programmer/files/device_file_result.h"
#include "tests/files/sample_files.h"

using namespace files;
using files_test::TempFolder;
using files_test::writeFile;

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

TEST(DeviceFile, NameRulesAndExtensionChoice) {
    TempFolder folder;
    std::vector<uint8_t> image(kDeviceImageSize, 0xFF);
    DeviceImageInfo info;
    auto read = [&](const std::string& path) {
        return ReadDeviceFile(path, image.data(), image.size(), info);
    };
    EXPECT_EQ(read("a.hx"), ERR_FILE_NAME);
    EXPECT_EQ(read("a_1_2_3.hex"), ERR_FILE_OPEN);

    // Upper-case extensions choose the same reader; the name's version reaches the result.
    ASSERT_TRUE(writeFile(folder.path("main_004_V03_02.HEX"),
                          files_test::hexRecord(0, 0x10, {0xAB}) + files_test::hexEndRecord()));
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

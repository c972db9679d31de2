// Writes the sample files of these tests as seeds for the fuzzers when KF_FUZZ_SEED_DIR names a
// folder (fuzz/corpus is filled this way); otherwise it is skipped.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "programmer/files/update_file_writer.h"
#include "tests/files/sample_files.h"

using namespace files_test;

TEST(FuzzSeeds, WriteWhenAsked) {
    const char* root = std::getenv("KF_FUZZ_SEED_DIR");
    if (root == nullptr)
        GTEST_SKIP() << "KF_FUZZ_SEED_DIR not set";
    auto seed = [&](const std::string& target, const std::string& name, const auto& bytes) {
        const std::filesystem::path folder = std::filesystem::path(root) / target;
        std::filesystem::create_directories(folder);
        ASSERT_TRUE(writeFile((folder / name).string(), bytes));
    };

    seed("update_file", "worked_example", workedExampleFile());
    files::UpdateFileWriter writer;
    const uint8_t data[40] = {1, 2, 3, 4, 5};
    for (int device = 0; device < files::kDeviceCount; ++device)
        ASSERT_EQ(
            writer.addRecord(device, 0, files::VersionBlock{0, 3, 4}, data, uint32_t(16 + device)),
            0u);
    std::vector<uint8_t> all;
    ASSERT_EQ(writer.finish(all), 0u);
    seed("update_file", "five_devices", all);

    seed("intel_hex", "linear",
         hexRecord(0x04, 0, {0x80, 0x00}) + hexRecord(0x00, 0, {1, 2, 3, 4}) +
             hexRecord(0x05, 0, {0x80, 0, 0x80, 0}) + hexEndRecord());
    seed("word_list", "words", std::string("0:1234\n10:ABCD\r\n8:1\n"));
    std::string jedec = "QF1312*\nC1234*\n";
    for (int line = 0; line < 10; ++line)
        jedec += "L" + std::to_string(line * 128) + " " + std::string(64, '1') +
                 std::string(64, '0') + "*\n";
    seed("jedec", "fuses", jedec + "U" + std::string(32, '1') + "*\n");
    seed("xilinx_bit", "part_a", bitFile("3s250evq100", true, 120, {1, 2, 3, 4}));
    seed("binary", "bytes", std::vector<uint8_t>{0, 1, 2, 0xFF});
    seed("device_file_name", "plain", std::string("main_004_V03_02.hex"));
    seed("device_file_name", "folders", std::string("C:\\fw\\x/main_-1_v300_+7.bit"));
}

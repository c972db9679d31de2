// kelvoflash-cli pack: device files into an update file, without a camera; what is left on disk
// when a device file cannot be read, the existing file is kept or the name names no file. Names
// outside ASCII come back in the messages as they were given.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "cli_run.h"
#include "tests/files/sample_files.h"

namespace {

using clitest::contains;
using clitest::runCli;

class Pack : public ::testing::Test {
protected:
    void SetUp() override {
        put("eeprom_004_V01_02.bin", std::string(17, 'e'));
        put("pll_004_V01_02.jed", "L0000 1\n");
        put("pll.jed", "L0000 1\n");
        put("öld名.qup", "old");
    }
    void put(const std::string& name, const std::string& text) {
        std::ofstream(folder.path(name), std::ios::binary) << text;
    }
    std::string contents(const std::string& name) const {
        std::ifstream in(folder.path(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    std::string device(const char* option, const char* name) const {
        return std::string(" --") + option + " " + folder.path(name);
    }

    files_test::TempFolder folder;
};

TEST_F(Pack, BuildsAFileThatInspectAccepts) {
    const std::string out = folder.path("ütf名.qup");
    const clitest::CliRun run = runCli("pack " + out + device("eeprom", "eeprom_004_V01_02.bin") +
                                       device("pll", "pll_004_V01_02.jed"));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(contains(run.out, "Creating qel.update file " + out + " done\n")) << run.out;
    const clitest::CliRun inspect = runCli("inspect " + out);
    EXPECT_EQ(inspect.status, 0);
    EXPECT_TRUE(contains(inspect.out, "device 2 (EEPROM), dataLength 17,")) << inspect.out;
    EXPECT_TRUE(contains(inspect.out, "device 3 (PLL), dataLength 164,")) << inspect.out;
}

TEST_F(Pack, AFailedPackLeavesTheExistingFileAsItWas) {
    std::filesystem::create_directory(folder.path("slashdir"));
    struct Case {
        const char* name;
        std::string file;
        std::string arguments;
        int status;
        std::string err;
    } cases[] = {
        {"the second device file has no version in its name", "öld名.qup",
         "--yes" + device("eeprom", "eeprom_004_V01_02.bin") + device("pll", "pll.jed"), 1,
         "Cannot open file\n"},
        {"the existing file is kept", "öld名.qup",
         "--no" + device("eeprom", "eeprom_004_V01_02.bin"), 1,
         "File öld名.qup already exists.\nDo you want to overwrite it? [answered No by --no]\n"},
        {"a folder that does not exist", "nödir名/new",
         device("eeprom", "eeprom_004_V01_02.bin"), 1,
         "Can't open file nödir名/new.qup, error = 2\n"},
        {"no device file", "öld名.qup", "--yes", 2, "give at least one device file"},
        {"a name that ends in a folder separator", "slashdir/",
         device("eeprom", "eeprom_004_V01_02.bin"), 1,
         "\"slashdir/\" names no file: give the update file a name.\n"},
        {"an empty name", "''", device("eeprom", "eeprom_004_V01_02.bin"), 1,
         "\"\" names no file: give the update file a name.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const clitest::CliRun run =
            runCli("pack " + c.file + " " + c.arguments, "cd " + folder.path() + " &&");
        EXPECT_EQ(run.status, c.status);
        EXPECT_TRUE(contains(run.err, c.err)) << run.err;
        EXPECT_EQ(contents("öld名.qup"), "old");
        EXPECT_FALSE(std::filesystem::exists(folder.path(".qup")));
        EXPECT_TRUE(std::filesystem::is_empty(folder.path("slashdir")));
    }
}

}  // namespace

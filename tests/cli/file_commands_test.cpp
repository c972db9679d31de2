// kelvoflash-cli's commands without a camera: inspect (verdicts, texts, exit status), pack (device
// files into an update file; what is left on disk when it fails) and arguments no command takes.
// Every run leaves the existing update file as it was. Names outside ASCII come back in the
// messages as they were given.

#include <gtest/gtest.h>

#include <filesystem>

#include "cli_run.h"
#include "programmer/files/file_io.h"
#include "protocol/little_endian.h"
#include "tests/files/sample_files.h"
#include "tests/tessiport/test_support.h"
#include "tools/temp_folder.h"

namespace {

using clitest::contains;

TEST(FileCommands, ReportAndPackWithoutChangingWhatExists) {
    tools::TempFolder folder;
    std::vector<uint8_t> example = files_test::workedExampleFile();
    ASSERT_EQ(files::writeFileSafely(folder.path("good.qup"), example), 0);
    // The worked example with its EEPROM record cut to no data and the end record's sum fixed.
    std::vector<uint8_t> empty(example.begin(), example.begin() + 64);
    empty.insert(empty.end(), example.end() - 32, example.end());
    std::fill(empty.begin() + 32, empty.begin() + 36, 0);
    uint32_t sum = 0;
    for (size_t i = 32; i < 64; ++i) sum += empty[i];
    protocol::writeU32(&empty[64], sum);
    ASSERT_EQ(files::writeFileSafely(folder.path("empty.qup"), empty), 0);
    example[64] = 0x11;  // the first data byte
    ASSERT_EQ(files::writeFileSafely(folder.path("corrupt.qup"), example), 0);
    for (const auto& [name, text] : {std::pair{"pll_1_V1_0.rom", "0:1\n\n"},
                                     {"eeprom_004_V01_02.bin", "eeeeeeeeeeeeeeeee"},
                                     {"pll_004_V01_02.jed", "L0000 1\n"},
                                     {"pll.jed", "L0000 1\n"},
                                     {"\u00f6ld\u540d.qup", "old"}})
        libtest::writeText(folder.path(name), text);
    std::filesystem::create_directory(folder.path("slashdir"));

    const std::string eeprom = " --eeprom eeprom_004_V01_02.bin";
    const std::string help = "\nRun with --help for more information.\n";
    const struct {
        std::string arguments;
        int status;
        std::vector<std::string> out;  // lines in standard output, or all of it when empty
        std::string err{};             // in standard error; all of it for a usage error
    } cases[] = {
        {"inspect good.qup", 0,
         {"Tag: valid\n",
          "Record at 0x00000020: device 2 (EEPROM), dataLength 3, startOffset 0x00000000, version "
          "004 V03.02, time stamp 2008-06-05 10:20",
          "Checksum: stored 0x00001805, computed 0x00001805\n", "Verdict: valid\n"}},
        {"inspect --json good.qup", 0,
         {"\"checksumStored\": 6149", "\"device\": \"EEPROM\",", "\"fileOffset\": 32,",
          "\"valid\": true"}},
        {"inspect empty.qup", 0,
         {"Warning: EEPROM: the image is empty (dataLength 0); program refuses it\n"}},
        {"inspect corrupt.qup", 1, {"computed 0x00001815", "Verdict: refused: File is corrupt"}},
        {"inspect corrupt.qup --json", 1,
         {"\"checksumComputed\": 6165", "\"message\": \"File is corrupt\\n\"", "\"valid\": false"}},
        {"inspect pll_1_V1_0.rom", 1,
         {"Result: 0x80000004 ERR_FILE_FORMAT\n", "Verdict: refused: File has unknown format\n"}},
        {"pack \u00fctf\u540d.qup" + eeprom + " --pll pll_004_V01_02.jed", 0,
         {"Creating qel.update file \u00fctf\u540d.qup done\n"}},
        {"inspect \u00fctf\u540d.qup", 0,
         {"device 2 (EEPROM), dataLength 17,", "device 3 (PLL), dataLength 164,"}},
        // The second device file has no version in its name.
        {"pack \u00f6ld\u540d.qup --yes" + eeprom + " --pll pll.jed", 1, {}, "Cannot open file\n"},
        {"pack \u00f6ld\u540d.qup --no" + eeprom, 1, {},
         "File \u00f6ld\u540d.qup already exists.\nDo you want to overwrite it? [answered No by "
         "--no]\n"},
        {"pack n\u00f6dir\u540d/new" + eeprom, 1, {},
         "Can't open file n\u00f6dir\u540d/new.qup, error = 2\n"},
        {"pack slashdir/" + eeprom, 1, {},
         "\"slashdir/\" names no file: give the update file a name.\n"},
        {"pack ''" + eeprom, 1, {}, "\"\" names no file: give the update file a name.\n"},
        // Usage errors: status 2, nothing on standard output.
        {"pack \u00f6ld\u540d.qup --yes", 2, {},
         "kelvoflash-cli pack: give at least one device file (--main-up, --main-fpga, --eeprom, "
         "--pll, --head-fpga)\n"},
        {"inspect", 2, {}, "FILE is required" + help},
        {"inspect x.qup --unknown", 2, {},
         "The following argument was not expected: --unknown" + help},
        {"x.qup --json", 2, {},
         "kelvoflash-cli: unknown subcommand 'x.qup' (see kelvoflash-cli --help)\n"},
        {"info --port 9", 2, {}, "--port: expected a port index 0-8 or a device path" + help},
        {"info --yes --no", 2, {}, "--yes excludes --no" + help},
        {"program x.qup --interface camlink --grabber a_grabber_lib_20.dll", 2, {},
         "kelvoflash-cli: --grabber: Framegrabber library name a_grabber_lib_20.dll is too long: "
         "at most 19 characters.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const clitest::CliRun run = clitest::runCli(c.arguments, "cd " + folder.path() + " &&");
        EXPECT_EQ(run.status, c.status);
        for (const std::string& line : c.out) EXPECT_TRUE(contains(run.out, line)) << run.out;
        if (c.status == 2) {
            EXPECT_EQ(run.out, "");
            EXPECT_EQ(run.err, c.err);
        } else {
            EXPECT_TRUE(contains(run.err, c.err)) << run.err;
        }
        EXPECT_EQ(libtest::readText(folder.path("\u00f6ld\u540d.qup")), "old");
        EXPECT_FALSE(std::filesystem::exists(folder.path(".qup")));
        EXPECT_TRUE(std::filesystem::is_empty(folder.path("slashdir")));
    }
}

}  // namespace

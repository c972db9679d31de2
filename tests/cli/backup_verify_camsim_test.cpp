// kelvoflash-cli backup and verify against camsim, in real time (about 16 s per device for the
// camera's reboot): names a backup cannot be written to, a PLL backup that verify finds equal to
// the camera, and a file that differs in two bytes.

#include <nlohmann/json.hpp>

#include "cli_camera.h"
#include "programmer/files/update_file_reader.h"
#include "programmer/files/update_file_writer.h"

namespace {

using clitest::contains;
using clitest::runCli;
using nlohmann::json;

class BackupVerifyCamsim : public clitest::CliCamera {};

TEST_F(BackupVerifyCamsim, ABackupMatchesTheCameraAndAChangedFileDoesNot) {
    ASSERT_TRUE(startCamsim());
    // Names that cannot be written are refused before any device is read; names outside ASCII
    // come back as they were given.
    const struct {
        std::string name;
        std::string err;
    } refused[] = {
        {"''", "\"\" names no file: give the update file a name.\n"},
        {files.path("ütf名/"), "\"" + files.path("ütf名/") + "\" names no file"},
        {files.path("nödir名/pll.qup"),
         "Can't open file " + files.path("nödir名/pll.qup") + ", error = 2\n"},
    };
    for (const auto& r : refused) {
        const clitest::CliRun run = runCli("backup " + r.name + " --devices pll " + port());
        EXPECT_EQ(run.status, 1) << r.name;
        EXPECT_TRUE(contains(run.err, r.err)) << run.err;
        EXPECT_FALSE(contains(run.out, "PLL: reading")) << run.out;
    }

    const std::string backup = files.path("pll.qup");
    clitest::CliRun run = runCli("backup " + backup + " --devices pll " + port());
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    for (const char* lines :
         {"PLL: started\nPLL: reading\n", "PLL: done\n", "Creating qel.update file done\n",
          "  PLL: read completely\n", "Backup written to "})
        EXPECT_TRUE(contains(run.out, lines)) << run.out;

    run = runCli("verify " + backup + " " + port());
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_TRUE(contains(run.out, "  PLL: matches the file\n")) << run.out;

    // The same record with bytes 0x64 and 0x70 changed.
    std::vector<uint8_t> bytes;
    ASSERT_EQ(files::readWholeFile(backup, bytes), 0);
    const files::UpdateFileReadResult file = files::readUpdateFile(bytes.data(), bytes.size());
    ASSERT_TRUE(file.ok());
    const files::UpdateFileDevice& pll = file.devices[3];
    std::vector<uint8_t> image(bytes.begin() + long(pll.dataOffset),
                               bytes.begin() + long(pll.dataOffset + pll.header.dataLength));
    image[0x64] ^= 0x01;
    image[0x70] ^= 0x80;
    files::UpdateFileWriter writer;
    ASSERT_EQ(writer.addRecord(3, 0, pll.header.version, image.data(), uint32_t(image.size())), 0u);
    std::vector<uint8_t> changed;
    ASSERT_EQ(writer.finish(changed), 0u);
    ASSERT_EQ(files::writeFileSafely(files.path("changed.qup"), changed), 0);

    run = runCli("verify --json " + files.path("changed.qup") + " " + port());
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    // The differing device ends as failed, with the read-back mismatch code (its row turns red).
    EXPECT_TRUE(contains(run.out, "\"error\":\"0x80003011\"")) << run.out;
    const json summary = json::parse(run.out.substr(run.out.rfind('\n', run.out.size() - 2) + 1));
    EXPECT_EQ(summary["event"], "summary");
    EXPECT_FALSE(summary["ok"].get<bool>());
    EXPECT_EQ(summary["devices"][0]["result"], "differs");
    EXPECT_EQ(summary["devices"][0]["firstDifference"], "0x00000064");
    EXPECT_EQ(summary["devices"][0]["bytesDiffering"], 2);
}

}  // namespace

// Updates and backups through ProgDlg and CComUpdate against camsim over a pty, waits 20x faster:
// a full update leaves the file's images and versions in the camera; a camera in boot mode is
// recovered in one run; a camera backed up, reprogrammed with other images and restored from its
// backup holds what it held before, device by device; every record
// holds its device's flash byte for byte; a backup of a camera whose EEPROM and head FPGA hold
// plain data programs into an older camera of its kind without emergency mode; a block read
// that fails part-way leaves no file. Interrupted runs (power loss, no answer after reboot) are in
// tests/cli.

#include <cstdio>

#include "camsim_dialog.h"
#include "programmer/files/file_probe.h"
#include "programmer/files/update_file_reader.h"

namespace {

using namespace app;

class BackupCamsimTest : public apptest::CamsimDialog {
protected:
    void start(const std::vector<std::string>& extra) {
        startCamsim(extra);
        connect(dialog, kPacketDevice);
    }
    void checkAll() {
        for (int row = 0; row < kRowCount; ++row)
            dialog.CheckDevice(row);
    }
    // Loads `path` into `d` and accepts it.
    void load(ProgDlg& d, const std::string& path) {
        host.files.push_back(path);
        d.OnLoadFile();
        ASSERT_EQ(d.loaded.loadedFileName, path.substr(path.rfind('/') + 1));
    }
    // Loads `path` and programs every device in it.
    void program(const std::string& path) {
        load(dialog, path);
        checkAll();
        dialog.OnProgram();
        for (int row = 0; row < kRowCount; ++row)
            ASSERT_EQ(dialog.deviceResults[size_t(row)].result, DeviceResult::kProgrammed) << row;
        dialog.loaded.loadedFileName.clear();  // the next backup asks for its name
    }
};

TEST_F(BackupCamsimTest, AnUpdateLeavesTheImagesAndARestoredBackupGivesBackEveryDevice) {
    // Every device at V01.00 variant 4 in the camera, V01.01 in the file.
    start({});
    program(sampleFile("first.qup", 1, 1));
    EXPECT_EQ(host.texts(), std::vector<std::string>{});
    EXPECT_EQ(dialog.model.caption(kIdStatusLine), kLoadOrSelect);
    std::vector<std::vector<uint8_t>> first;
    for (int row = 0; row < kRowCount; ++row) {
        EXPECT_EQ(dialog.model.rowState[size_t(row)], ROW_DONE) << row;
        EXPECT_EQ(dialog.cameraVersion[size_t(row)], 1 * 256 + 1) << row;
        EXPECT_EQ(dialog.cameraVariant[size_t(row)], 4) << row;
        EXPECT_EQ(dialog.model.caption(currentFwId(row)), "004 V01.01") << row;
        first.push_back(flash(row));
        const tools::SampleImage image = tools::sampleImage(sampleSettings(1, 1), row);
        ASSERT_GE(first.back().size(), image.startOffset + image.data.size()) << row;
        EXPECT_TRUE(std::equal(image.data.begin(), image.data.end(),
                               first.back().begin() + image.startOffset))
            << "row " << row;
    }

    const std::string backup = files.folder.path("camera.qup");
    host.saveFiles.push_back(files.folder.path("camera"));
    checkAll();
    dialog.OnPacket();
    ASSERT_EQ(dialog.model.caption(kIdStatusLine), "Creating qel.update file done");
    ASSERT_TRUE(dialog.packetFileWritten);

    program(sampleFile("second.qup", 1, 2));
    for (int row = 0; row < kRowCount; ++row)
        ASSERT_NE(flash(row), first[size_t(row)]) << "row " << row << " was not reprogrammed";

    // The backup is older than what the camera now runs: emergency mode takes the downgrade.
    dialog.options.emergencyMode = true;
    host.boxes.clear();
    program(backup);
    EXPECT_EQ(host.texts(), std::vector<std::string>{"Your camera is up to date!\n"});
    for (int row = 0; row < kRowCount; ++row) {
        EXPECT_TRUE(flash(row) == first[size_t(row)]) << "row " << row;
        EXPECT_EQ(dialog.model.caption(currentFwId(row)), "004 V01.01") << row;
    }
}

// Device contents that no sample image has: pseudo-random bytes up to lengths that are not
// multiples of the block size, with no blank bytes at their ends.
class BackupOfPlainDataTest : public BackupCamsimTest {
protected:
    static constexpr uint32_t kFlashSize = 4u << 20;
    static constexpr uint32_t kMainUpSize = 1u << 20;
    static constexpr uint32_t kMainFpgaLength = 70000 + 13;  // and its length field + 32
    static constexpr uint32_t kHeadFpgaLength = 90000 + 77;
    static constexpr size_t kSmallSize = 448;

    static std::vector<uint8_t> content(size_t size, size_t first, size_t length, uint32_t seed) {
        std::vector<uint8_t> bytes(size, 0xFF);
        for (size_t i = first; i < first + length; ++i) {
            seed = seed * 1664525u + 1013904223u;
            bytes[i] = uint8_t(0x10 + (seed >> 24) % 0xE0);  // never 0xFF
        }
        return bytes;
    }
    void writeState(const char* name, const std::vector<uint8_t>& bytes) const {
        ASSERT_EQ(files::writeFileSafely(state.path(name), bytes), 0) << name;
    }
    // Plain data in every device; the Main FPGA's length field states its length.
    void writeContents() const {
        writeState("main_up.bin", content(kMainUpSize, 0x8000, 0xEFF00 + 99, 1));
        std::vector<uint8_t> mainFpga = content(kFlashSize, 0, kMainFpgaLength, 2);
        for (int i = 0; i < 4; ++i)
            mainFpga[size_t(28 + i)] = uint8_t((kMainFpgaLength - 32) >> (8 * i));
        writeState("main_fpga.bin", mainFpga);
        // Its first bytes read as variant 5647 V08.01, were they a version block.
        std::vector<uint8_t> eeprom = content(kSmallSize, 0, kSmallSize, 3);
        eeprom[0] = 0x01, eeprom[1] = 0x08, eeprom[2] = 0x0F, eeprom[3] = 0x16;
        writeState("eeprom.bin", eeprom);
        // The PLL's version block at 0x10 is erased.
        std::vector<uint8_t> pll = content(kSmallSize, 0, kSmallSize, 4);
        std::fill_n(pll.begin() + 0x10, files::kVersionBlockSize, uint8_t(0xFF));
        writeState("main_pll.bin", pll);
        writeState("head_fpga.bin", content(kFlashSize, 0, kHeadFpgaLength, 5));
    }
    static files::VersionBlock reported(int major, int minor) {
        files::VersionBlock version;
        version.versionMajor = uint8_t(major);
        version.versionMinor = uint8_t(minor);
        version.variant = 4;
        return version;
    }
    // The block camsim writes into a device for --firmware (time stamp 12:00, 1 January 2024).
    static files::VersionBlock written(int major, int minor) {
        files::VersionBlock version = reported(major, minor);
        version.hour = 12, version.day = 1, version.month = 1, version.year = 2024;
        return version;
    }
    static void expectVersion(const files::VersionBlock& actual, const files::VersionBlock& expected,
                              int row) {
        uint8_t a[files::kVersionBlockSize];
        uint8_t e[files::kVersionBlockSize];
        actual.encode(a);
        expected.encode(e);
        EXPECT_TRUE(std::equal(a, a + sizeof a, e)) << "version block of row " << row;
    }
    static const std::vector<std::string> kPlainData;
};
const std::vector<std::string> BackupOfPlainDataTest::kPlainData = {
    "--plain-data", "2", "--plain-data", "3", "--plain-data", "4"};

TEST_F(BackupOfPlainDataTest, EachRecordHoldsItsFlashAndABackupProgramsAnOlderCamera) {
    writeContents();
    std::vector<std::string> newer = kPlainData;
    for (int row = 0; row < kRowCount; ++row)
        newer.insert(newer.end(), {"--firmware", std::to_string(row) + ":4:2.03"});
    start(newer);
    const std::string backup = files.folder.path("camera.qup");
    host.saveFiles.push_back(backup);
    checkAll();
    dialog.OnPacket();
    ASSERT_EQ(dialog.model.caption(kIdStatusLine), "Creating qel.update file done");
    dialog.OnQuit();
    camsim.stop();

    std::vector<uint8_t> bytes;
    ASSERT_EQ(files::readWholeFile(backup, bytes), 0);
    const files::UpdateFileReadResult file = files::readUpdateFile(bytes.data(), bytes.size());
    ASSERT_TRUE(file.ok());
    // Region in the flash, length and version block of each record.
    struct Expected {
        uint32_t first;
        uint32_t length;
        files::VersionBlock version;
    };
    const std::array<Expected, kRowCount> expected = {{
        {0x8000, 0xF0000, written(2, 3)},          // its own block at 0xF7FE0
        {0, kMainFpgaLength, written(2, 3)},       // its own block in bytes 0-9
        {0, kSmallSize, reported(2, 3)},           // plain data: the camera's record
        {0, kSmallSize, reported(2, 3)},           // its block at 0x10 erased: the camera's
        {0, (kHeadFpgaLength + 255) / 256 * 256, reported(2, 3)},  // to its last block
    }};
    std::vector<std::vector<uint8_t>> before;
    for (int row = 0; row < kRowCount; ++row) {
        const files::UpdateFileDevice& record = file.devices[size_t(row)];
        const Expected& e = expected[size_t(row)];
        before.push_back(flash(row));
        ASSERT_TRUE(record.present) << row;
        EXPECT_EQ(record.header.startOffset, row == 0 ? 0x8000u : 0u) << row;
        ASSERT_EQ(record.header.dataLength, e.length) << row;
        const auto* data = bytes.data() + record.dataOffset;
        EXPECT_TRUE(std::equal(data, data + e.length, before.back().begin() + e.first)) << row;
        expectVersion(record.header.version, e.version, row);
    }
    EXPECT_TRUE(std::all_of(before[4].begin() + kHeadFpgaLength, before[4].end(),
                            [](uint8_t b) { return b == 0xFF; }));

    // A camera of the same kind, erased, every device at V01.00: no emergency mode needed.
    for (const char* name : {"main_up.bin", "main_fpga.bin", "eeprom.bin", "main_pll.bin",
                             "head_fpga.bin"})
        std::remove(state.path(name).c_str());
    ProgDlg older{host, factory};
    startCamsim(kPlainData);
    connect(older);
    host.boxes.clear();
    host.files.push_back(backup);
    older.OnLoadFile();
    EXPECT_EQ(host.texts(), std::vector<std::string>{});
    ASSERT_EQ(older.loaded.loadedFileName, "camera.qup");
    older.OnProgram();
    for (int row = 0; row < kRowCount; ++row)
        EXPECT_EQ(older.deviceResults[size_t(row)].result, DeviceResult::kProgrammed) << row;
    older.OnQuit();
    camsim.stop();
    for (int row = 0; row < kRowCount; ++row)
        EXPECT_TRUE(flash(row) == before[size_t(row)]) << "row " << row;
}

TEST_F(BackupCamsimTest, ABlockReadFailingPartWayLeavesNoFile) {
    start({"--fault", "read-fail:4:3"});
    host.saveFiles.push_back(files.folder.path("camera.qup"));
    dialog.CheckDevice(3);
    dialog.CheckDevice(4);
    dialog.OnPacket();
    EXPECT_EQ(dialog.model.caption(kIdStatusLine),
              "Error in Backup: reading Head FPGA failed, no file written");
    EXPECT_EQ(dialog.model.rowState[4], ROW_FAILED);
    EXPECT_EQ(dialog.deviceResults[4].error, 0x80001063u) << "camsim's block read failure";
    EXPECT_EQ(dialog.model.rowState[3], ROW_DONE);
    EXPECT_FALSE(files::pathExists(files.folder.path("camera.qup")));
    EXPECT_EQ(host.texts(), std::vector<std::string>{});
}

TEST_F(BackupCamsimTest, ACameraInBootModeIsRecoveredInOneRun) {
    // A power loss while the Main uP is written leaves the camera in its bootloader, which
    // reports the Main uP only; the other devices keep V01.00.
    startCamsim({"--fault", "power-loss:0:2"});
    const std::string path = sampleFile("sample.qup", 1, 1);
    connect(dialog);
    load(dialog, path);
    for (int row = 1; row < kRowCount; ++row)
        dialog.CheckDevice(row, false);
    dialog.OnProgram();
    ASSERT_EQ(dialog.deviceResults[0].result, DeviceResult::kFailed);
    dialog.OnQuit();

    ProgDlg recovery{host, factory};
    connect(recovery);
    load(recovery, path);
    ASSERT_EQ(recovery.camera->bootMode, 1);
    EXPECT_EQ(recovery.deviceAvailable,
              (std::array<bool, kRowCount>{true, false, false, false, false}));
    for (int row = 0; row < kRowCount; ++row)
        EXPECT_TRUE(recovery.IsDeviceChecked(row)) << row;
    host.boxes.clear();
    recovery.OnProgram();

    EXPECT_EQ(host.texts(), std::vector<std::string>{});
    EXPECT_EQ(recovery.model.caption(kIdStatusLine), kLoadOrSelect);
    for (int row = 0; row < kRowCount; ++row) {
        EXPECT_EQ(recovery.model.rowState[size_t(row)], ROW_DONE) << row;
        EXPECT_EQ(recovery.model.caption(currentFwId(row)), "004 V01.01") << row;
    }
}

}  // namespace

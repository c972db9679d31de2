// The Packet flows with camsim's camera model and files in virtual time: backup and packet file
// names, the overwrite question, what each backup record holds and that it programs back, record
// lengths and padding, and the failures that must leave no file (and an existing file untouched).

#include <gtest/gtest.h>
#include <unistd.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "programmer/app/packet_file_names.h"
#include "programmer/app/prog_dlg.h"
#include "programmer/files/file_io.h"
#include "programmer/files/update_file_reader.h"
#include "dialog_rig.h"
#include "tools/temp_folder.h"

namespace {

using namespace app;
using Texts = std::vector<std::string>;

TEST(PacketFileNames, FollowTheLoadedFileOrTheSerialNumber) {
    EXPECT_EQ(BackupFileName("fw.qup", 7), "fw_backup_00007.qup");
    EXPECT_EQ(BackupFileName("fw.QUP", 7), "_backup_00007.qup") << "the base ends at .qup only";
    EXPECT_EQ(BackupFileName("a.qup.qup", 1234), "a_backup_01234.qup");
    EXPECT_EQ(DefaultBackupFileName(7), "qel_backup_00007.qup");
    EXPECT_EQ(WithUpdateFileExtension("out"), "out.qup");
    EXPECT_EQ(WithUpdateFileExtension("v1.2/out"), "v1.2/out.qup");
    EXPECT_EQ(WithUpdateFileExtension("out.bin"), "out.bin");
}

class PacketTest : public ::testing::Test, public apptest::DialogRig {
protected:
    void SetUp() override {
        ASSERT_NE(getcwd(oldFolder, sizeof oldFolder), nullptr);
        ASSERT_EQ(chdir(folder.path().c_str()), 0);  // the backup's names are in the current folder
    }
    void TearDown() override { ASSERT_EQ(chdir(oldFolder), 0); }

    void connect(int mode) {
        factory.com.firmware(3, 4, 1, 2);
        factory.com.options.serial = 7;
        start(*this, mode);
    }
    // Starts `t`'s dialog in packet `mode`, connected to its camera for a backup.
    static void start(apptest::DialogRig& t, int mode) {
        t.dialog.SetOptions({.packetMode = mode, .connectWithoutDialog = mode == kPacketDevice});
        t.dialog.OnInitDialog();
    }
    void choose(std::initializer_list<int> rows) {
        for (int row = 0; row < kRowCount; ++row)
            dialog.CheckDevice(row, std::find(rows.begin(), rows.end(), row) != rows.end());
    }
    std::vector<uint8_t> bytesOf(const std::string& name) const {
        std::vector<uint8_t> bytes;
        files::readWholeFile(folder.path(name), bytes);
        return bytes;
    }
    void put(const std::string& name, const std::string& text) const {
        std::ofstream(folder.path(name), std::ios::binary) << text;
    }
    std::vector<std::string> folderNames() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
            names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    char oldFolder[4096] = {};
    tools::TempFolder folder;
};

TEST_F(PacketTest, ABackupIsNamedAfterTheLoadedFileOrTheSerialNumberAndOverwritesOnlyWhenAsked) {
    // The PLL keeps its version block at 0x10.
    const uint8_t ownBlock[10] = {0, 2, 4};
    factory.com.store.device(3).replace(0x10, ownBlock, sizeof ownBlock);
    connect(kPacketDevice);
    choose({1, 2, 3});
    dialog.OnPacket();

    EXPECT_EQ(status(), "Creating qel.update file done");
    EXPECT_TRUE(dialog.PacketFileWritten());
    EXPECT_EQ(host.texts(), std::vector<std::string>{});
    ASSERT_EQ(host.saveRequests.size(), 1u);
    EXPECT_EQ(host.saveRequests[0].filter, "qel.update files (*.qup)|*.qup||");
    EXPECT_FALSE(host.saveRequests[0].confirmOverwrite) << "the flow asks itself";
    const std::vector<uint8_t> bytes = bytesOf("qel_backup_00007.qup");
    const files::UpdateFileReadResult file = files::readUpdateFile(bytes.data(), bytes.size());
    ASSERT_TRUE(file.ok());
    for (int row : {2, 3}) {
        EXPECT_EQ(file.devices[size_t(row)].header.dataLength, 448u) << row;
        EXPECT_EQ(dialog.Model().rowState[size_t(row)], ROW_DONE) << row;
    }
    EXPECT_EQ(file.devices[3].header.version.version(), 0x0200);  // its own block
    // The EEPROM's own block is erased: the camera's record.
    EXPECT_EQ(file.devices[2].header.version.version(), 0x0100);
    EXPECT_EQ(file.devices[2].header.version.variant, 2);
    // A Main FPGA without a length field: its flash, without the blank end, one block at least.
    EXPECT_EQ(file.devices[1].header.dataLength, 256u);
    EXPECT_EQ(file.devices[3].header.version.variant, 4);
    EXPECT_EQ(factory.com.reboots, 3) << "one reboot after each device";

    // Answering No to the overwrite question changes nothing: the backup ends with its usual
    // status, the packet builder with the one it showed at its start.
    put("fw_backup_00007.qup", "old");
    host.boxes.clear();
    factory.com.commands.clear();
    ProgDlgTestAccess::loaded(dialog).loadedFileName = "fw.qup";
    choose({2});
    dialog.OnPacket();
    EXPECT_EQ(status(), "Creating qel.update file done");
    ProgDlgTestAccess::options(dialog).packetMode = kPacketFile;
    host.saveFiles.push_back("fw_backup_00007.qup");
    dialog.OnPacket();

    const std::string question =
        "File fw_backup_00007.qup already exists.\nDo you want to overwrite it?\n";
    EXPECT_EQ(host.texts(), (std::vector<std::string>{question, question}));
    EXPECT_EQ(host.boxes[0].icon, BoxIcon::None);
    EXPECT_EQ(status(), "Creating Packet from Files, or close programmer");
    EXPECT_EQ(bytesOf("fw_backup_00007.qup"), std::vector<uint8_t>({'o', 'l', 'd'}));
    EXPECT_TRUE(factory.com.opened().empty()) << "no device was read";
}

// A Packet run that fails writes no file: an older file of the chosen name survives untouched and
// no temporary file is left. A name that names no file is refused before anything is read; a
// device that cannot be read whole gets a red row.
TEST_F(PacketTest, AFailedRunWritesNoFileAndLeavesTheOldOneUntouched) {
    ASSERT_EQ(mkdir(folder.path("sub").c_str(), 0755), 0);
    put("eeprom_004_V01_02.bin", "abc");
    put("pll.jed", "L0000 1\n");
    put("pll_004_V01_02.txt", "L0000 1\n");
    put("old.qup", "old");
    const std::string old = folder.path("old.qup");
    const std::string question = "File " + old + " already exists.\nDo you want to overwrite it?\n";
    auto namesNoFile = [](const std::string& name) {
        return "\"" + name + "\" names no file: give the update file a name.\n";
    };
    const std::string kBackupError = "Error in Backup";
    const std::string kPacketError = "Error in Creating Programmer File";
    const struct {
        const char* name;
        int mode;
        const char* fault;
        std::string saveAs;
        std::optional<std::string> pllFile;  // the second device file chosen
        std::set<int> rows;
        Texts boxes;
        std::string status;
        size_t filesAsked;
        int failingRow;  // the row whose read failed, -1: no device read
        protocol::ErrorCode error;
    } cases[] = {
        {"backup named sub/", kPacketDevice, "", "sub/", {}, {2}, {namesNoFile("sub/")},
         kBackupError, 0, -1, 0},
        {"packet named sub/..", kPacketFile, "", "sub/..", {}, {2}, {namesNoFile("sub/..")},
         kPacketError, 0, -1, 0},
        {"the Main FPGA's first read (its length) fails", kPacketDevice, "no-reply:1403:1", old, {},
         {1, 2}, {question}, "Error in Backup: reading Main FPGA failed, no file written", 0, 1,
         protocol::kErrPortIo},
        {"the EEPROM's first block read fails", kPacketDevice, "no-reply:1603:1", old, {}, {0, 2},
         {question}, "Error in Backup: reading EEPROM failed, no file written", 0, 2,
         protocol::kErrPortIo},
        {"the camera refuses a block of the head FPGA part-way", kPacketDevice, "read-fail:4:3",
         old, {}, {3, 4}, {question}, "Error in Backup: reading Head FPGA failed, no file written",
         0, 4, 0x80001063u},
        {"device file name without variant and version", kPacketFile, "", old, "pll.jed", {2, 3},
         {question, "Cannot open file"}, kPacketError, 2, -1, 0},
        {"device file dialog cancelled", kPacketFile, "", old, std::nullopt, {2, 3},
         {question, "Cannot open file"}, kPacketError, 2, -1, 0},
        {"device file of an unknown extension", kPacketFile, "", old, "pll_004_V01_02.txt", {2, 3},
         {question, "Filename invalid for this dataformat"}, kPacketError, 2, -1, 0},
        {"device file of an unknown extension, new name", kPacketFile, "", folder.path("new.qup"),
         "pll_004_V01_02.txt", {2, 3}, {"Filename invalid for this dataformat"}, kPacketError, 2,
         -1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        apptest::DialogRig t;
        t.factory.com.firmware(3, 7, 1, 0);
        t.factory.com.firmware(4, 9, 2, 0);
        start(t, c.mode);
        if (c.fault[0]) t.factory.com.fault(c.fault);
        for (const int row : c.rows) t.dialog.CheckDevice(row);
        t.host.saveFiles.push_back(c.saveAs);
        t.host.answers.push_back(true);
        t.host.files = {folder.path("eeprom_004_V01_02.bin"),
                        c.pllFile ? std::optional(folder.path(*c.pllFile)) : std::nullopt};
        t.dialog.OnPacket();

        EXPECT_EQ(t.host.texts(), c.boxes);
        EXPECT_EQ(t.status(), c.status);
        EXPECT_FALSE(t.dialog.PacketFileWritten());
        EXPECT_EQ(2 - t.host.files.size(), c.filesAsked);
        EXPECT_EQ(t.factory.com.opened().empty(), c.failingRow < 0);
        if (c.failingRow >= 0) {
            const int other = *c.rows.begin() == c.failingRow ? *c.rows.rbegin() : *c.rows.begin();
            EXPECT_EQ(t.dialog.Model().rowState[size_t(c.failingRow)], ROW_FAILED);
            EXPECT_EQ(t.dialog.Model().rowState[size_t(other)], ROW_DONE);
            EXPECT_EQ(t.dialog.DeviceResults()[size_t(other)].result, DeviceResult::kRead);
            EXPECT_EQ(t.dialog.DeviceResults()[size_t(c.failingRow)].result, DeviceResult::kFailed);
            EXPECT_EQ(t.dialog.DeviceResults()[size_t(c.failingRow)].error, c.error);
        }
        EXPECT_EQ(bytesOf("old.qup"), std::vector<uint8_t>({'o', 'l', 'd'}));
        EXPECT_EQ(folderNames(), (Texts{"eeprom_004_V01_02.bin", "old.qup", "pll.jed",
                                        "pll_004_V01_02.txt", "sub"}));
    }
}

TEST_F(PacketTest, PacketRecordsKeepTheirLengthsAndPadding) {
    put("eeprom_004_V01_02.bin", std::string(17, '\x5A'));
    put("pll_004_V01_02.jed", "L0000 1\n*\n");
    connect(kPacketFile);
    choose({2, 3});
    host.saveFiles.push_back(folder.path("packet"));
    host.files = {folder.path("eeprom_004_V01_02.bin"), folder.path("pll_004_V01_02.jed")};
    dialog.OnPacket();

    EXPECT_EQ(status(), "Creating qel.update file " + folder.path("packet.qup") + " done");
    const std::vector<uint8_t> bytes = bytesOf("packet.qup");
    const files::UpdateFileReadResult file = files::readUpdateFile(bytes.data(), bytes.size());
    ASSERT_TRUE(file.ok());
    const files::UpdateFileDevice& eeprom = file.devices[2];
    EXPECT_EQ(eeprom.header.dataLength, 17u);
    EXPECT_EQ(eeprom.header.version.version(), 0x0102);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + long(eeprom.dataOffset) + 17,
                                   bytes.begin() + long(eeprom.dataOffset) + 32),
              std::vector<uint8_t>(15, 0xFF));
    EXPECT_EQ(file.devices[3].header.dataLength, 164u);
    EXPECT_EQ(file.devices[3].recordOffset, eeprom.dataOffset + 32) << "17 bytes padded to 32";
    EXPECT_EQ(dialog.Options().packetMode, kPacketFile);
    EXPECT_TRUE(dialog.Model().isEnabled(kIdPacket));
}

// Device contents that no image file has: pseudo-random bytes (never 0xFF) up to lengths that
// are not multiples of the block size. The EEPROM, PLL and head FPGA hold plain data, their
// versions kept apart as the camera's records; the Main uP and Main FPGA hold version blocks.
std::vector<uint8_t> plainData(size_t size, size_t first, size_t length, uint32_t seed) {
    std::vector<uint8_t> bytes(size, 0xFF);
    for (size_t i = first; i < first + length; ++i) {
        seed = seed * 1664525u + 1013904223u;
        bytes[i] = uint8_t(0x10 + (seed >> 24) % 0xE0);
    }
    return bytes;
}

TEST_F(PacketTest, EachBackupRecordHoldsItsFlashAndItsVersionBlock) {
    constexpr uint32_t kMainFpgaLength = 70000 + 13, kHeadFpgaLength = 90000 + 77;
    apptest::ModelFactory plain{false};  // versions as blocks in the flash, but for plain data
    ProgDlg backup{host, plain};
    for (int row : {2, 3, 4}) plain.com.store.device(row).keepVersionApart();
    for (int row = 0; row < kRowCount; ++row) plain.com.firmware(row, 4, 2, 3);
    sim::DeviceStore& store = plain.com.store;
    auto fill = [&](int row, const std::vector<uint8_t>& bytes) {
        store.device(row).replace(0, bytes.data(), uint32_t(bytes.size()));
    };
    std::vector<uint8_t> mainUp = plainData(1u << 20, 0x8000, 0xEFF00 + 99, 1);
    std::copy_n(store.device(0).content().begin() + 0xF7FE0, 10, mainUp.begin() + 0xF7FE0);
    fill(0, mainUp);
    std::vector<uint8_t> mainFpga = plainData(4u << 20, 10, kMainFpgaLength - 10, 2);
    for (int i = 0; i < 4; ++i)  // its length field
        mainFpga[size_t(28 + i)] = uint8_t((kMainFpgaLength - 32) >> (8 * i));
    std::copy_n(store.device(1).content().begin(), 10, mainFpga.begin());
    fill(1, mainFpga);
    // Its first bytes read as variant 5647 V08.01, were they a version block.
    std::vector<uint8_t> eeprom = plainData(448, 0, 448, 3);
    std::copy_n(std::begin({0x01, 0x08, 0x0F, 0x16}), 4, eeprom.begin());
    fill(2, eeprom);
    std::vector<uint8_t> pll = plainData(448, 0, 448, 4);
    std::fill_n(pll.begin() + 0x10, files::kVersionBlockSize, uint8_t(0xFF));  // block erased
    fill(3, pll);
    fill(4, plainData(4u << 20, 0, kHeadFpgaLength, 5));

    backup.SetOptions({.packetMode = kPacketDevice, .connectWithoutDialog = true});
    backup.OnInitDialog();
    host.saveFiles.push_back(folder.path("camera.qup"));
    for (int row = 0; row < kRowCount; ++row) backup.CheckDevice(row);
    backup.OnPacket();
    ASSERT_EQ(backup.Model().caption(kIdStatusLine), "Creating qel.update file done");
    const std::vector<uint8_t> bytes = bytesOf("camera.qup");
    const files::UpdateFileReadResult file = files::readUpdateFile(bytes.data(), bytes.size());
    ASSERT_TRUE(file.ok());
    // Region in the flash, length and version block of each record: a device's own block, with
    // the camera's time stamp, or for plain data and an erased block the camera's record.
    using Block = std::array<uint8_t, files::kVersionBlockSize>;
    const Block own{3, 2, 4, 0, 12, 0, 1, 1, 0xE8, 0x07}, reported{3, 2, 4, 0, 0, 0, 0, 0, 0, 0};
    const struct {
        uint32_t first, length;
        Block version;
    } expected[] = {{0x8000, 0xF0000, own},
                    {0, kMainFpgaLength, own},
                    {0, 448, reported},
                    {0, 448, reported},
                    {0, (kHeadFpgaLength + 255) / 256 * 256, reported}};  // to its last block
    for (int row = 0; row < kRowCount; ++row) {
        SCOPED_TRACE(row);
        const files::UpdateFileDevice& record = file.devices[size_t(row)];
        const auto& e = expected[row];
        const std::vector<uint8_t>& flash = store.device(row).content();
        ASSERT_TRUE(record.present);
        EXPECT_EQ(record.header.startOffset, e.first);
        ASSERT_EQ(record.header.dataLength, e.length);
        EXPECT_TRUE(std::equal(flash.begin() + e.first, flash.begin() + e.first + e.length,
                               bytes.begin() + long(record.dataOffset)));
        Block version;
        record.header.version.encode(version.data());
        EXPECT_EQ(version, e.version);
    }

    // Programmed back in emergency mode over changed bytes at the start, in the middle and at the
    // end of each record, the backup gives back every device's flash.
    std::vector<std::vector<uint8_t>> before;
    for (int row = 0; row < kRowCount; ++row) {
        before.push_back(store.device(row).content());
        const auto& e = expected[row];
        for (const uint32_t at : {e.first + 12, e.first + e.length / 2, e.first + e.length - 1}) {
            const uint8_t changed = uint8_t(before.back()[at] ^ 0x5A);
            store.device(row).replace(at, &changed, 1);
        }
    }
    ProgDlg restore{host, plain};
    restore.SetOptions({.emergencyMode = true, .connectWithoutDialog = true});
    restore.OnInitDialog();
    host.files.push_back(folder.path("camera.qup"));
    host.boxes.clear();
    restore.OnLoadFile();
    EXPECT_EQ(host.texts(), Texts{"Your camera is up to date!\n"});
    for (int row = 0; row < kRowCount; ++row) restore.CheckDevice(row);
    restore.OnProgram();
    for (int row = 0; row < kRowCount; ++row) {
        EXPECT_EQ(restore.DeviceResults()[size_t(row)].result, DeviceResult::kProgrammed) << row;
        EXPECT_TRUE(store.device(row).content() == before[size_t(row)]) << row;
    }
}

}  // namespace

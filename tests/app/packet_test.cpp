// The Packet flows with camsim's camera model and files in virtual time: backup and packet file names,
// the overwrite question, record lengths and padding, and the failures that must leave no file
// (and an existing file untouched).

#include <gtest/gtest.h>
#include <unistd.h>

#include <dirent.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include "programmer/app/packet_file_names.h"
#include "programmer/app/prog_dlg.h"
#include "programmer/camera/device_backup.h"
#include "programmer/files/file_io.h"
#include "programmer/files/update_file_reader.h"
#include "dialog_rig.h"
#include "tools/temp_folder.h"

namespace {

using namespace app;

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
        dialog.options.connectWithoutDialog = true;
        dialog.options.packetMode = mode;
        dialog.OnInitDialog();
        if (dialog.camera)
            dialog.camera->serialNumber = 7;
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
        if (DIR* dir = opendir(folder.path().c_str())) {
            while (dirent* entry = readdir(dir))
                if (entry->d_name[0] != '.' || std::string(entry->d_name).size() > 2)
                    names.push_back(entry->d_name);
            closedir(dir);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    char oldFolder[4096] = {};
    tools::TempFolder folder;
};

TEST_F(PacketTest, ABackupWithACancelledDialogIsNamedAfterTheSerialNumberAndLoadsAgain) {
    // The PLL keeps its version block at 0x10.
    const uint8_t ownBlock[10] = {0, 2, 4};
    factory.com.store.device(3).replace(0x10, ownBlock, sizeof ownBlock);
    connect(kPacketDevice);
    choose({1, 2, 3});
    dialog.OnPacket();

    EXPECT_EQ(status(), "Creating qel.update file done");
    EXPECT_EQ(host.texts(), std::vector<std::string>{});
    ASSERT_EQ(host.saveRequests.size(), 1u);
    EXPECT_EQ(host.saveRequests[0].filter, "qel.update files (*.qup)|*.qup||");
    EXPECT_FALSE(host.saveRequests[0].confirmOverwrite) << "the flow asks itself";
    const std::vector<uint8_t> bytes = bytesOf("qel_backup_00007.qup");
    const files::UpdateFileReadResult file = files::readUpdateFile(bytes.data(), bytes.size());
    ASSERT_TRUE(file.ok());
    for (int row : {2, 3}) {
        EXPECT_EQ(file.devices[size_t(row)].header.dataLength, 448u) << row;
        EXPECT_EQ(dialog.model.rowState[size_t(row)], ROW_DONE) << row;
    }
    EXPECT_EQ(file.devices[3].header.version.version(), 0x0200);
    // A Main FPGA without a length field: its flash, without the blank end, one block at least.
    EXPECT_EQ(file.devices[1].header.dataLength, 256u);
    EXPECT_EQ(file.devices[3].header.version.variant, 4);
    EXPECT_EQ(factory.com.reboots, 3) << "one reboot after each device";
}

// The backup ends with its usual status, the packet builder with the one it showed at its start.
TEST_F(PacketTest, AnsweringNoToTheOverwriteQuestionChangesNothing) {
    put("fw_backup_00007.qup", "old");
    connect(kPacketDevice);
    dialog.loaded.loadedFileName = "fw.qup";
    choose({2});
    dialog.OnPacket();
    EXPECT_EQ(status(), "Creating qel.update file done");
    dialog.options.packetMode = kPacketFile;
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

// A device that cannot be read whole gets a red row and no record; the backup then writes no file,
// so an older backup of the same name survives.
TEST_F(PacketTest, AReadThatFailsLeavesTheExistingFileAndSaysWhatIsMissing) {
    struct Case {
        const char* name;
        uint16_t failingCommand;
        int failingRow, otherRow;
        const char* status;
    } cases[] = {
        {"the Main FPGA's first read (its length) fails", protocol::cmd::READ_BLOCK, 1, 2,
         "Error in Backup: reading Main FPGA failed, no file written"},
        {"the EEPROM's first block read fails", protocol::cmd::READ_EEPROM_BLOCK, 2, 0,
         "Error in Backup: reading EEPROM failed, no file written"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        apptest::DialogRig t;
        t.dialog.options.connectWithoutDialog = true;
        t.dialog.options.packetMode = kPacketDevice;
        t.dialog.OnInitDialog();
        t.factory.com.failNext(c.failingCommand, 1);
        put("out.qup", "old");
        t.host.saveFiles.push_back(folder.path("out"));
        t.host.answers.push_back(true);
        t.dialog.CheckDevice(c.otherRow);
        t.dialog.CheckDevice(c.failingRow);
        t.dialog.OnPacket();

        EXPECT_EQ(t.status(), c.status);
        EXPECT_EQ(t.dialog.model.rowState[size_t(c.failingRow)], ROW_FAILED);
        EXPECT_EQ(t.dialog.deviceResults[size_t(c.otherRow)].result, DeviceResult::kRead);
        EXPECT_EQ(t.dialog.deviceResults[size_t(c.failingRow)].result, DeviceResult::kFailed);
        EXPECT_FALSE(t.dialog.packetFileWritten);
        EXPECT_EQ(bytesOf("out.qup"), std::vector<uint8_t>({'o', 'l', 'd'}));
        EXPECT_EQ(folderNames(), std::vector<std::string>{"out.qup"}) << "no temporary file left";
    }
}

// A name that names no file is refused before any device or device file is read.
TEST_F(PacketTest, ANameThatNamesNoFileIsRefusedAndNothingIsWritten) {
    mkdir(folder.path("sub").c_str(), 0755);
    struct Case {
        int mode;
        const char* chosen;
        const char* status;
    } cases[] = {
        {kPacketDevice, "", "Error in Backup"},
        {kPacketDevice, "sub/", "Error in Backup"},
        {kPacketFile, "", "Error in Creating Programmer File"},
        {kPacketFile, "sub/", "Error in Creating Programmer File"},
        {kPacketFile, "sub/..", "Error in Creating Programmer File"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chosen);
        apptest::DialogRig t;
        t.dialog.options.connectWithoutDialog = c.mode == kPacketDevice;
        t.dialog.options.packetMode = c.mode;
        t.dialog.OnInitDialog();
        t.dialog.CheckDevice(2);
        t.host.saveFiles.push_back(std::string(c.chosen));
        t.host.files.push_back(folder.path("eeprom_004_V01_02.bin"));
        t.dialog.OnPacket();
        EXPECT_EQ(t.host.texts(),
                  std::vector<std::string>{"\"" + std::string(c.chosen) +
                                           "\" names no file: give the update file a name.\n"});
        EXPECT_EQ(t.status(), c.status);
        EXPECT_FALSE(t.dialog.packetFileWritten);
        EXPECT_TRUE(t.factory.com.opened().empty()) << "no device was read";
        EXPECT_EQ(t.host.files.size(), 1u) << "no device file was asked for";
        EXPECT_EQ(folderNames(), std::vector<std::string>{"sub"});
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
    EXPECT_EQ(dialog.options.packetMode, kPacketFile);
    EXPECT_TRUE(dialog.model.isEnabled(kIdPacket));
}

TEST_F(PacketTest, AnUnreadableSecondDeviceFileLeavesNoFileAndTheOldOneUntouched) {
    struct Case {
        const char* name;
        std::optional<std::string> secondFile;
        const char* message;
    } cases[] = {
        {"name without variant and version", "pll.jed", "Cannot open file"},
        {"dialog cancelled", std::nullopt, "Cannot open file"},
        {"unknown extension", "pll_004_V01_02.txt", "Filename invalid for this dataformat"},
    };
    put("eeprom_004_V01_02.bin", "abc");
    put("pll.jed", "L0000 1\n");
    put("pll_004_V01_02.txt", "L0000 1\n");
    put("old.qup", "old");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        apptest::DialogRig t;
        t.dialog.options.packetMode = kPacketFile;
        t.dialog.OnInitDialog();
        t.dialog.CheckDevice(2);
        t.dialog.CheckDevice(3);
        t.host.saveFiles = {folder.path("old.qup"), folder.path("new.qup")};
        t.host.answers.push_back(true);
        std::optional<std::string> second =
            c.secondFile ? std::optional(folder.path(*c.secondFile)) : std::nullopt;
        t.host.files = {folder.path("eeprom_004_V01_02.bin"), second};
        t.dialog.OnPacket();  // over the existing file
        t.host.files = {folder.path("eeprom_004_V01_02.bin"), second};
        t.dialog.OnPacket();  // a new file

        EXPECT_EQ(t.host.texts(),
                  (std::vector<std::string>{"File " + folder.path("old.qup") +
                                                " already exists.\nDo you want to overwrite it?\n",
                                            c.message, c.message}));
        EXPECT_EQ(t.status(), "Error in Creating Programmer File");
        EXPECT_EQ(bytesOf("old.qup"), std::vector<uint8_t>({'o', 'l', 'd'}));
        EXPECT_EQ(folderNames(), (std::vector<std::string>{"eeprom_004_V01_02.bin", "old.qup",
                                                           "pll.jed", "pll_004_V01_02.txt"}));
    }
}

}  // namespace

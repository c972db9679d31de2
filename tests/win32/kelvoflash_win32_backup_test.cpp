// kelvoflash.exe's backup under Wine, through its save dialog: device packets from a camsim
// (serial number 1234) that reports the Main uP, the EEPROM and the PLL at 003 V01.00. The
// backup goes to a folder and a file named in Greek and with umlauts, so that the chosen name
// crosses the dialog, the flow and the file layer in full; the file is read back with the
// program's own update file reader.

#include <gtest/gtest.h>

#include <algorithm>

#include "programmer/app/control_ids.h"
#include "programmer/files/file_io.h"
#include "programmer/files/update_file_reader.h"
#include "tests/win32/dialog_driver.h"

namespace win32test {
namespace {

const std::vector<int> kControls = {app::kIdSelectPort, app::kIdLoadFile,   app::kIdProgram,
                                    app::kIdPacket,     app::kIdReboot,     app::kIdQuit,
                                    app::checkBoxId(0), app::checkBoxId(1), app::checkBoxId(2),
                                    app::checkBoxId(3), app::checkBoxId(4)};

bool idle(HWND main) {
    return enabled(main, app::kIdQuit);
}

// Which of the buttons and check boxes are enabled and which check boxes are checked.
struct Controls {
    std::vector<int> enabled;
    std::vector<int> checked;
    bool operator==(const Controls&) const = default;
};

Controls controlsOf(HWND main) {
    Controls controls;
    for (const int id : kControls) {
        if (win32test::enabled(main, id))
            controls.enabled.push_back(id);
        if (id >= app::kIdCheckBase && win32test::checked(main, id))
            controls.checked.push_back(id);
    }
    return controls;
}

// The names of the files in `folder` (with its trailing separator), sorted.
std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(wide(folder + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(narrow(found.cFileName));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

// The backup holds the EEPROM and the PLL, each its 448 bytes with the camera's 003 V01.00, and
// no other device.
void expectBackupOfEepromAndPll(const std::string& path) {
    std::vector<uint8_t> bytes;
    ASSERT_EQ(files::readWholeFile(path, bytes), 0) << path;
    const files::UpdateFileReadResult file = files::readUpdateFile(bytes.data(), bytes.size());
    ASSERT_TRUE(file.ok()) << file.message();
    for (int row = 0; row < 5; ++row) {
        const files::UpdateFileDevice& device = file.devices[size_t(row)];
        EXPECT_EQ(device.present, row == 2 || row == 3) << "row " << row;
        if (!device.present)
            continue;
        EXPECT_EQ(device.header.dataLength, 448u) << "row " << row;
        EXPECT_EQ(device.header.version.variant, 3) << "row " << row;
        EXPECT_EQ(device.header.version.version(), 0x0100) << "row " << row;
    }
}

// Packet in device packet mode asks where the backup goes. A name without extension gets
// ".qup"; a cancelled dialog still backs up, into "qel_backup_<serial>.qup" in the program's
// working folder, and writes nothing where the dialog showed. Either way the controls end as
// they were before.
TEST(KelvoflashBackup, TheSaveDialogNamesTheBackupAndItsCancelTakesTheDefaultName) {
    const std::string work = scratchFolder();
    const std::string folder = work + "Αντίγραφα_Käse\\";
    ASSERT_TRUE(CreateDirectoryW(wide(folder).c_str(), nullptr));
    Program program(kelvoflashPath(), "-P1 -T2 -S -Nclsersim.dll", work);
    HWND main = waitForDialog(program.id(), app::kIdStatusLine);
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(waitUntil([&] { return idle(main) && enabled(main, app::kIdPacket); }))
        << text(main, app::kIdStatusLine);
    // A direct connection leaves the check boxes disabled; switching to file packets and back
    // enables those of the devices the camera reports.
    for (const std::string mode : {"FilePacket", "DevicePacket"}) {
        ASSERT_TRUE(rightClick(main, app::kIdPacket));
        ASSERT_TRUE(waitUntil([&] { return text(main, app::kIdPacket) == mode; })) << mode;
    }
    for (const int row : {2, 3}) {
        click(main, app::checkBoxId(row));
        ASSERT_TRUE(waitUntil([&] { return checked(main, app::checkBoxId(row)); })) << row;
    }
    const Controls before = controlsOf(main);
    EXPECT_EQ(before.enabled,
              (std::vector<int>{app::kIdSelectPort, app::kIdPacket, app::kIdReboot, app::kIdQuit,
                                app::checkBoxId(0), app::checkBoxId(2), app::checkBoxId(3)}));

    const std::string saved = "Sicherung_ΦΧΨ_üöß";
    const struct {
        const char* name;
        bool cancel;
        std::string written;                // the backup's path
        std::vector<std::string> inFolder;  // what the dialog's folder holds after it
        std::vector<std::string> inWork;    // what the working folder holds after it
    } cases[] = {
        {"saved", false, folder + saved + ".qup", {saved + ".qup"}, {}},
        {"cancelled",
         true,
         work + "qel_backup_01234.qup",
         {saved + ".qup"},
         {"qel_backup_01234.qup"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        click(main, app::kIdPacket);
        if (c.cancel) {
            ASSERT_TRUE(cancelFileDialog(program.id()));
        } else {
            ASSERT_TRUE(answerFileDialog(program.id(), folder + saved));
        }
        // A box the flow shows (a file it cannot write) ends the wait with its text.
        HWND box = nullptr;
        ASSERT_TRUE(waitUntil(
            [&] { return idle(main) || (box = waitForBox(program.id(), "", 0)) != nullptr; },
            120000))
            << text(main, app::kIdStatusLine);
        ASSERT_EQ(box, nullptr) << boxText(box);
        EXPECT_EQ(text(main, app::kIdStatusLine), "Creating qel.update file done");
        EXPECT_EQ(controlsOf(main), before);
        EXPECT_EQ(filesIn(folder), c.inFolder);
        EXPECT_EQ(filesIn(work), c.inWork);
        expectBackupOfEepromAndPll(c.written);
        if (!c.cancel)
            keepScreenshot(main, "main_backup_written");
    }

    click(main, app::kIdQuit);
    EXPECT_EQ(program.waitForExit(kWaitMs), 0u);
}

}  // namespace
}  // namespace win32test

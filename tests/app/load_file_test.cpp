// Load File: file checks, comparison with the camera, and the end states.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "programmer/app/prog_dlg.h"
#include "scripted_camera.h"
#include "scripted_host.h"
#include "update_file_builder.h"

namespace {

using namespace app;
using apptest::FileRecord;
using Texts = std::vector<std::string>;

constexpr const char* kUpToDate = "Your camera is up to date!\n";
constexpr const char* kVariantMismatch =
    "Some variant numbers do not fit !\nFirmware file maybe for a different qel.camera type.\n"
    "Please verify correct firmware file.";

class LoadFileTest : public ::testing::Test {
protected:
    apptest::ScriptedHost host;
    apptest::ScriptedFactory factory;
    ProgDlg dialog{host, factory};
    apptest::UpdateFiles files;

    // Rows 0-2 reported by the camera, 3 and 4 not.
    void SetUp() override {
        setCamera(0, 1, 5 * 256 + 2);
        setCamera(1, 4, 3 * 256 + 1);
        setCamera(2, 2, 1 * 256 + 0);
    }
    void setCamera(int row, int variant, int version) {
        dialog.cameraVariant[size_t(row)] = variant;
        dialog.cameraVersion[size_t(row)] = version;
        dialog.deviceAvailable[size_t(row)] = true;
    }
    void load(const std::string& name, const std::vector<FileRecord>& records) {
        host.boxes.clear();
        host.files.push_back(files.write(name, records));
        dialog.OnLoadFile();
    }
    bool checked(int row) const { return dialog.IsDeviceChecked(row); }
    bool enabled(int row) const { return dialog.model.isEnabled(checkBoxId(row)); }
    std::string loadedText(int row) const { return dialog.model.caption(loadedFwId(row)); }
    bool accepted() const {
        return !dialog.loaded.loadedFileName.empty() && dialog.model.isEnabled(kIdProgram);
    }
    // Newer than the camera in every row, with the camera's variants.
    static std::vector<FileRecord> newerFile() {
        return {{0, 5, 3, 1}, {1, 3, 2, 4}, {2, 1, 1, 2}, {3, 1, 0, 7}, {4, 2, 0, 9}};
    }
};

TEST_F(LoadFileTest, NewerImagesAreCheckedAndTheFileIsAccepted) {
    load("update.qup", newerFile());
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(dialog.loaded.loadedFileName, "update.qup");
    EXPECT_TRUE(accepted());
    for (int row = 0; row < kRowCount; ++row)  // unreported rows 3 and 4 count as newer
        EXPECT_TRUE(checked(row) && enabled(row) && dialog.loaded.present[size_t(row)]) << row;
    EXPECT_EQ(loadedText(0), "001 V05.03");
    EXPECT_EQ(loadedText(4), "009 V02.00");
    EXPECT_EQ(dialog.LoadDecision().devices[1].fileVersion, 3 * 256 + 2);
    EXPECT_EQ(dialog.LoadDecision().devices[4].fileVariant, 9);
    // The buffers hold the file and 100 bytes more, and a scratch image of the same size.
    const auto bytes = apptest::UpdateFiles::bytesOf(newerFile());
    EXPECT_EQ(dialog.loaded.image.size(), bytes.size() + 100);
    EXPECT_EQ(dialog.loaded.readBackImage.size(), bytes.size() + 100);

    // Cancelling the next load clears the rows and loads nothing.
    dialog.SetRowState(1, ROW_DONE);
    host.files.push_back(std::nullopt);
    dialog.OnLoadFile();
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_TRUE(dialog.loaded.loadedFileName.empty());
    EXPECT_EQ(dialog.model.rowState[1], ROW_IDLE);
    for (int row = 0; row < kRowCount; ++row)
        EXPECT_FALSE(checked(row) || enabled(row) || dialog.loaded.present[size_t(row)]) << row;
}

TEST_F(LoadFileTest, WrongTagsAndDamagedFilesAreRefusedAndLeaveNoFile) {
    const auto good = apptest::UpdateFiles::bytesOf({{0, 9, 0, 1, std::vector<uint8_t>(40, 7)}});
    const std::string notUpdateFile = "This is not a QEL Binary Update File V01.08  \n";
    std::vector<std::pair<std::vector<uint8_t>, std::string>> cases;
    auto damaged = [&](auto change, const std::string& text) {
        auto bytes = good;
        change(bytes);
        cases.push_back({bytes, text});
    };
    damaged([](auto& b) { b[0] = 'q'; }, notUpdateFile);                     // lower case tag
    damaged([](auto& b) { b[30] = 0; }, notUpdateFile);                      // one blank too few
    damaged([](auto& b) { b[31] = ' '; }, notUpdateFile);                    // no terminator
    damaged([](auto& b) { b[b.size() - 32] ^= 1; }, "File is corrupt\n");    // checksum
    damaged([](auto& b) { b.resize(b.size() - 32); }, "File is corrupt\n");  // no end record
    for (const auto& [bytes, text] : cases) {
        load("update.qup", {{0, 9, 0, 1}});  // an accepted file before
        ASSERT_TRUE(accepted());
        host.boxes.clear();
        host.files.push_back(files.write("bad.qup", bytes));
        dialog.OnLoadFile();
        EXPECT_EQ(host.texts(), Texts{text});
        EXPECT_TRUE(dialog.loaded.loadedFileName.empty());
        EXPECT_FALSE(dialog.loaded.hasImage());
        EXPECT_FALSE(dialog.loaded.present[0]);
        EXPECT_FALSE(checked(0));
        EXPECT_FALSE(enabled(0));
        EXPECT_EQ(loadedText(0), "--- V--.--");
        // Program must not stay enabled from the file before; the buttons were brought up to date.
        EXPECT_FALSE(dialog.model.isEnabled(kIdProgram));
        EXPECT_TRUE(dialog.model.isEnabled(kIdQuit));
    }
    const std::string missing = files.folder.path("missing.qup");
    host.boxes.clear();
    host.files.push_back(missing);
    dialog.OnLoadFile();
    EXPECT_EQ(host.texts(), Texts{"Can't open file " + missing + ", error = 2\n"});
    EXPECT_TRUE(dialog.loaded.loadedFileName.empty());
    // A FIFO would keep the dialog waiting for a writer for ever.
    const std::string fifo = files.folder.path("fifo.qup");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    host.boxes.clear();
    host.files.push_back(fifo);
    dialog.OnLoadFile();
    EXPECT_EQ(host.texts(), Texts{"Can't open file " + fifo + ": it is not a regular file\n"});
}

TEST_F(LoadFileTest, ACameraVariantOfZeroOrNotReportedNeverMismatches) {
    setCamera(0, 0, 5 * 256 + 2);  // variant 0 switches the check off
    load("update.qup", {{0, 5, 3, 77}, {3, 1, 0, 55}});
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(dialog.loaded.loadedFileName, "update.qup");
    EXPECT_TRUE(checked(0));
    EXPECT_TRUE(checked(3));  // camera variant 0xFFFF, version -1
}

TEST_F(LoadFileTest, AVariantMismatchRefusesTheFileButShowsItsVersions) {
    load("update.qup", {{0, 5, 3, 1}, {1, 3, 2, 5}, {2, 1, 1, 2}});
    EXPECT_EQ(host.texts(), Texts{kVariantMismatch});
    EXPECT_TRUE(dialog.loaded.loadedFileName.empty());
    EXPECT_FALSE(dialog.model.isEnabled(kIdProgram));
    EXPECT_FALSE(dialog.loaded.present[1]);
    EXPECT_FALSE(enabled(1));
    EXPECT_TRUE(dialog.loaded.present[0]);
    EXPECT_EQ(loadedText(1), "005 V03.02");
    // The newer devices beside the refused one are not programmed either: none stays checked.
    for (int row : {0, 1, 2})
        EXPECT_FALSE(checked(row)) << row;
    EXPECT_TRUE(dialog.loaded.hasImage());  // the buffers stay until the next load
    // Reported instead of a downgrade.
    load("both.qup", {{0, 5, 1, 1}, {1, 9, 0, 8}});
    EXPECT_EQ(host.texts(), Texts{kVariantMismatch});
}

TEST_F(LoadFileTest, EqualVersionsOrAnEmptyFileCountAsUpToDate) {
    load("empty.qup", {});
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, kUpToDate);
    EXPECT_EQ(host.boxes[0].caption, "Warning");
    EXPECT_EQ(host.boxes[0].icon, BoxIcon::Warning);
    EXPECT_EQ(dialog.loaded.loadedFileName, "empty.qup");
    EXPECT_TRUE(accepted());
    for (int row = 0; row < kRowCount; ++row) {
        EXPECT_EQ(loadedText(row), "--- V--.--");
        EXPECT_FALSE(enabled(row));
        EXPECT_EQ(dialog.LoadDecision().devices[size_t(row)].fileVersion, -1);
    }
    // Equal versions are offered unchecked.
    load("same.qup", {{0, 5, 2, 1}, {1, 3, 1, 4}});
    EXPECT_EQ(host.texts(), Texts{kUpToDate});
    EXPECT_EQ(dialog.loaded.loadedFileName, "same.qup");
    for (int row : {0, 1}) {
        EXPECT_TRUE(enabled(row));
        EXPECT_FALSE(checked(row));
    }
    // One newer device among equal ones: no up-to-date message, only that one checked.
    load("mixed.qup", {{0, 5, 2, 1}, {1, 3, 2, 4}});
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_FALSE(checked(0));
    EXPECT_TRUE(checked(1));
}

TEST_F(LoadFileTest, ADowngradeInTheFirstDeviceDisablesEveryLaterRow) {
    load("old.qup", {{0, 5, 1, 1}, {1, 9, 0, 4}, {3, 9, 0, 1}});
    EXPECT_EQ(host.texts(), Texts{"Firmware version too old!\nFirmware downgrade is not allowed."});
    EXPECT_TRUE(dialog.loaded.loadedFileName.empty());
    EXPECT_FALSE(dialog.model.isEnabled(kIdProgram));
    for (int row : {0, 1, 3})
        EXPECT_FALSE(enabled(row) || checked(row)) << row;
    EXPECT_EQ(loadedText(3), "001 V09.00");
}

TEST_F(LoadFileTest, EmergencyModeAcceptsOtherVariantsAndOlderVersionsUnchecked) {
    dialog.options.emergencyMode = true;
    load("other.qup", {{0, 5, 1, 9}, {1, 2, 0, 8}, {3, 1, 0, 1}});
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(dialog.loaded.loadedFileName, "other.qup");
    EXPECT_TRUE(accepted());
    for (int row : {0, 1, 3}) {
        EXPECT_TRUE(enabled(row));
        EXPECT_FALSE(checked(row));  // nothing is chosen for the user
    }
    // Every camera version at or above the file's: still up to date.
    load("older.qup", {{0, 5, 1, 9}, {1, 2, 0, 8}});
    EXPECT_EQ(host.texts(), Texts{kUpToDate});
    EXPECT_EQ(dialog.loaded.loadedFileName, "older.qup");
}

}  // namespace

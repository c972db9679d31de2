// Load File: the file checks, the comparison with the camera's versions and variants, and the
// three end states (no file, shown but refused, accepted).

#include <gtest/gtest.h>

#include "programmer/app/prog_dlg.h"
#include "scripted_camera.h"
#include "scripted_host.h"
#include "update_file_builder.h"

namespace {

using namespace app;
using apptest::RecordSpec;

constexpr const char* kNotUpdateFile = "This is not a QEL Binary Update File V01.08  \n";
constexpr const char* kCorrupt = "File is corrupt\n";
constexpr const char* kUpToDate = "Your camera is up to date!\n";
constexpr const char* kVariantMismatch =
    "Some variant numbers do not fit !\nFirmware file maybe for a different qel.camera type.\n"
    "Please verify correct firmware file.";
constexpr const char* kDowngrade = "Firmware version too old!\nFirmware downgrade is not allowed.";

class LoadFileTest : public ::testing::Test {
protected:
    apptest::ScriptedHost host;
    apptest::ScriptedFactory factory;
    ProgDlg dialog{host, factory};
    apptest::UpdateFiles files;

    // The camera as ReadCameraInfo leaves it: rows 0-2 reported, 3 and 4 not.
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
    void load(const std::string& path) {
        host.files.push_back(path);
        dialog.OnLoadFile();
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> all;
        for (const auto& box : host.boxes)
            all.push_back(box.text);
        return all;
    }
    bool checked(int row) const { return dialog.IsDeviceChecked(row); }
    bool enabled(int row) const { return dialog.model.isEnabled(checkBoxId(row)); }
    std::string loadedText(int row) const { return dialog.model.caption(loadedFwId(row)); }
    // Newer than the camera in every row, with the camera's variants.
    static std::vector<RecordSpec> newerFile() {
        return {{0, 5, 3, 1}, {1, 3, 2, 4}, {2, 1, 1, 2}, {3, 1, 0, 7}, {4, 2, 0, 9}};
    }
};

TEST_F(LoadFileTest, NewerImagesAreCheckedAndTheFileIsAccepted) {
    load(files.write("update.qup", newerFile()));
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(dialog.loaded.loadedFileName, "update.qup");
    EXPECT_TRUE(dialog.model.isEnabled(kIdProgram));
    for (int row = 0; row < kRowCount; ++row) {
        // Rows 3 and 4 are not reported by the camera: their images count as newer.
        EXPECT_TRUE(checked(row)) << row;
        EXPECT_TRUE(enabled(row)) << row;
        EXPECT_TRUE(dialog.loaded.present[size_t(row)]);
    }
    EXPECT_EQ(loadedText(0), "001 V05.03");
    EXPECT_EQ(loadedText(4), "009 V02.00");
    EXPECT_EQ(dialog.loaded.fileVersion[1], 3 * 256 + 2);
    EXPECT_EQ(dialog.loaded.fileVariant[4], 9);
    // The buffers hold the file and 100 bytes more, and a scratch image of the same size.
    const auto bytes = apptest::UpdateFiles::bytesOf(newerFile());
    EXPECT_EQ(dialog.loaded.image.size(), bytes.size() + 100);
    EXPECT_EQ(dialog.loaded.readBackImage.size(), bytes.size() + 100);
}

TEST_F(LoadFileTest, TheEmptyFileIsAcceptedAsUpToDate) {
    load(files.write("empty.qup", std::vector<RecordSpec>{}));
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, kUpToDate);
    EXPECT_EQ(host.boxes[0].caption, "Warning");
    EXPECT_EQ(host.boxes[0].icon, BoxIcon::Warning);
    EXPECT_EQ(dialog.loaded.loadedFileName, "empty.qup");
    EXPECT_TRUE(dialog.model.isEnabled(kIdProgram));
    for (int row = 0; row < kRowCount; ++row) {
        EXPECT_EQ(loadedText(row), "--- V--.--");
        EXPECT_FALSE(enabled(row));
        EXPECT_EQ(dialog.loaded.fileVersion[size_t(row)], -1);
    }
}

TEST_F(LoadFileTest, WrongTagsAreRefusedAndLeaveNoFile) {
    const auto good = apptest::UpdateFiles::bytesOf({{2, 9, 0, 2}});
    auto lower = good;
    lower[0] = 'q';
    auto oneBlank = good;
    oneBlank[30] = 0;
    auto noTerminator = good;
    noTerminator[31] = ' ';
    for (const auto& bytes : {lower, oneBlank, noTerminator}) {
        host.boxes.clear();
        load(files.write("update.qup", good));  // an accepted file before
        ASSERT_FALSE(dialog.loaded.loadedFileName.empty());
        load(files.write("bad.qup", bytes));
        EXPECT_EQ(texts(), std::vector<std::string>{kNotUpdateFile});
        EXPECT_TRUE(dialog.loaded.loadedFileName.empty());
        EXPECT_FALSE(dialog.loaded.hasImage());
        EXPECT_FALSE(dialog.loaded.present[2]);
        EXPECT_FALSE(checked(2));
        EXPECT_FALSE(enabled(2));
        EXPECT_EQ(loadedText(2), "--- V--.--");
        // Program must not stay enabled from the file before.
        EXPECT_FALSE(dialog.model.isEnabled(kIdProgram));
    }
}

TEST_F(LoadFileTest, DamagedFilesAreCorruptAndNeverReadPastTheirBytes) {
    const auto good = apptest::UpdateFiles::bytesOf({{0, 9, 0, 1, std::vector<uint8_t>(40, 7)}});
    auto badSum = good;
    badSum[good.size() - 32] ^= 1;
    auto truncated = good;
    truncated.resize(good.size() - 40);  // the record's data runs past the end
    auto noEnd = good;
    noEnd.resize(good.size() - 32);
    auto badIndex = good;
    badIndex[32 + 8] = 7;
    const std::vector<uint8_t> tagOnly(good.begin(), good.begin() + 40);
    for (const auto& bytes : {badSum, truncated, noEnd, badIndex, tagOnly}) {
        host.boxes.clear();
        load(files.write("bad.qup", bytes));
        EXPECT_EQ(texts(), std::vector<std::string>{kCorrupt});
        EXPECT_TRUE(dialog.loaded.loadedFileName.empty());
        EXPECT_FALSE(dialog.loaded.hasImage());
        EXPECT_FALSE(dialog.loaded.present[0]);
        EXPECT_FALSE(enabled(0));
        EXPECT_FALSE(dialog.model.isEnabled(kIdProgram));
        // The buttons were brought up to date.
        EXPECT_TRUE(dialog.model.isEnabled(kIdQuit));
    }
}

TEST_F(LoadFileTest, AFileThatCannotBeOpenedNamesItsPathAndCause) {
    const std::string path = files.folder() + "/missing.qup";
    load(path);
    EXPECT_EQ(texts(), std::vector<std::string>{"Can't open file " + path + ", error = 2\n"});
    EXPECT_TRUE(dialog.loaded.loadedFileName.empty());
}

TEST_F(LoadFileTest, CancellingClearsTheRowsAndLoadsNothing) {
    load(files.write("update.qup", newerFile()));
    dialog.SetRowState(1, ROW_DONE);
    host.files.push_back(std::nullopt);
    dialog.OnLoadFile();
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_TRUE(dialog.loaded.loadedFileName.empty());
    EXPECT_EQ(dialog.model.rowState[1], ROW_IDLE);
    for (int row = 0; row < kRowCount; ++row) {
        EXPECT_FALSE(checked(row));
        EXPECT_FALSE(enabled(row));
        EXPECT_FALSE(dialog.loaded.present[size_t(row)]);
    }
}

TEST_F(LoadFileTest, ACameraVariantOfZeroOrNotReportedNeverMismatches) {
    setCamera(0, 0, 5 * 256 + 2);  // variant 0 switches the check off
    load(files.write("update.qup", {{0, 5, 3, 77}, {3, 1, 0, 55}}));
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(dialog.loaded.loadedFileName, "update.qup");
    EXPECT_TRUE(checked(0));
    EXPECT_TRUE(checked(3));  // camera variant 0xFFFF, version -1
}

TEST_F(LoadFileTest, AVariantMismatchRefusesTheFileButShowsItsVersions) {
    load(files.write("update.qup", {{0, 5, 3, 1}, {1, 3, 2, 5}, {2, 1, 1, 2}}));
    EXPECT_EQ(texts(), std::vector<std::string>{kVariantMismatch});
    EXPECT_TRUE(dialog.loaded.loadedFileName.empty());
    EXPECT_FALSE(dialog.model.isEnabled(kIdProgram));
    EXPECT_FALSE(dialog.loaded.present[1]);
    EXPECT_FALSE(enabled(1));
    EXPECT_TRUE(dialog.loaded.present[0]);
    EXPECT_EQ(loadedText(1), "005 V03.02");
    // The buffers stay until the next load.
    EXPECT_TRUE(dialog.loaded.hasImage());
}

TEST_F(LoadFileTest, EqualVersionsAreOfferedUncheckedAndCountAsUpToDate) {
    load(files.write("same.qup", {{0, 5, 2, 1}, {1, 3, 1, 4}}));
    EXPECT_EQ(texts(), std::vector<std::string>{kUpToDate});
    EXPECT_EQ(dialog.loaded.loadedFileName, "same.qup");
    for (int row : {0, 1}) {
        EXPECT_TRUE(enabled(row));
        EXPECT_FALSE(checked(row));
    }
    // One newer device among equal ones: no up-to-date message, only that one checked.
    host.boxes.clear();
    load(files.write("mixed.qup", {{0, 5, 2, 1}, {1, 3, 2, 4}}));
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_FALSE(checked(0));
    EXPECT_TRUE(checked(1));
}

TEST_F(LoadFileTest, ADowngradeInTheFirstDeviceDisablesEveryLaterRow) {
    load(files.write("old.qup", {{0, 5, 1, 1}, {1, 9, 0, 4}, {3, 9, 0, 1}}));
    EXPECT_EQ(texts(), std::vector<std::string>{kDowngrade});
    EXPECT_TRUE(dialog.loaded.loadedFileName.empty());
    EXPECT_FALSE(dialog.model.isEnabled(kIdProgram));
    for (int row : {0, 1, 3})
        EXPECT_FALSE(enabled(row)) << row;
    EXPECT_EQ(loadedText(3), "001 V09.00");
}

TEST_F(LoadFileTest, AVariantMismatchIsReportedInsteadOfADowngrade) {
    load(files.write("both.qup", {{0, 5, 1, 1}, {1, 9, 0, 8}}));
    EXPECT_EQ(texts(), std::vector<std::string>{kVariantMismatch});
}

TEST_F(LoadFileTest, EmergencyModeAcceptsOtherVariantsAndOlderVersionsUnchecked) {
    dialog.options.emergencyMode = true;
    load(files.write("other.qup", {{0, 5, 1, 9}, {1, 2, 0, 8}, {3, 1, 0, 1}}));
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(dialog.loaded.loadedFileName, "other.qup");
    EXPECT_TRUE(dialog.model.isEnabled(kIdProgram));
    for (int row : {0, 1, 3}) {
        EXPECT_TRUE(enabled(row));
        EXPECT_FALSE(checked(row));  // nothing is chosen for the user
    }
    // Every camera version at or above the file's: still up to date.
    host.boxes.clear();
    load(files.write("older.qup", {{0, 5, 1, 9}, {1, 2, 0, 8}}));
    EXPECT_EQ(texts(), std::vector<std::string>{kUpToDate});
    EXPECT_EQ(dialog.loaded.loadedFileName, "older.qup");
}

}  // namespace

// Load File: what the dialog draws of the update policy's verdict (rows, boxes, buttons), and the
// files it refuses before any comparison. The policy's own cases are with its tests in tests/cli.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "dialog_rig.h"
#include "programmer/files/signing_policy.h"
#include "update_file_builder.h"

namespace {

using namespace app;
using apptest::FileRecord;
using Texts = std::vector<std::string>;

constexpr const char* kUpToDate = "Your camera is up to date!\n";
constexpr const char* kVariantMismatch =
    "Some variant numbers do not fit !\nFirmware file maybe for a different qel.camera type.\n"
    "Please verify correct firmware file.";
constexpr const char* kDowngrade = "Firmware version too old!\nFirmware downgrade is not allowed.";

// Camera rows 0-2 reported (variant 1 V05.02, 4 V03.01, 2 V01.00), 3 and 4 not.
struct LoadRig : apptest::DialogRig {
    apptest::UpdateFiles files;
    LoadRig() {
        const int versions[3][2] = {{1, 0x0502}, {4, 0x0301}, {2, 0x0100}};
        for (size_t row = 0; row < 3; ++row) {
            ProgDlgTestAccess::cameraVariant(dialog)[row] = versions[row][0];
            ProgDlgTestAccess::cameraVersion(dialog)[row] = versions[row][1];
            ProgDlgTestAccess::deviceAvailable(dialog)[row] = true;
        }
    }
    void load(const std::vector<FileRecord>& records) {
        host.boxes.clear();
        host.files.push_back(files.write("update.qup", records));
        dialog.OnLoadFile();
    }
    // One character per row: '1' where `has` holds.
    template <typename Has> std::string rows(Has has) const {
        std::string marks;
        for (int row = 0; row < kRowCount; ++row) marks += has(row) ? '1' : '0';
        return marks;
    }
    std::string checked() const { return rows([&](int r) { return dialog.IsDeviceChecked(r); }); }
    std::string offered() const {
        return rows([&](int r) { return dialog.Model().isEnabled(checkBoxId(r)); });
    }
    bool accepted() const {
        return dialog.Loaded().loadedFileName == "update.qup" && dialog.Model().isEnabled(kIdProgram);
    }
};

const std::vector<FileRecord> kNewer = {
    {0, 5, 3, 1}, {1, 3, 2, 4}, {2, 1, 1, 2}, {3, 1, 0, 7}, {4, 2, 0, 9}};

struct LoadCase {
    const char* name;
    bool emergency;
    std::vector<FileRecord> records;
    const char* box;  // "" for none
    bool accepted;
    const char* checked;
    const char* offered;
    int row;  // and its loaded version text
    const char* shown;
};
const LoadCase kLoadCases[] = {
    // Unreported rows 3 and 4 count as newer.
    {"newer in every row", false, kNewer, "", true, "11111", "11111", 4, "009 V02.00"},
    // The newer devices beside the refused one are not programmed either.
    {"variant mismatch", false, {{0, 5, 3, 1}, {1, 3, 2, 5}, {2, 1, 1, 2}}, kVariantMismatch,
     false, "00000", "10100", 1, "005 V03.02"},
    {"empty file", false, {}, kUpToDate, true, "00000", "00000", 0, "--- V--.--"},
    {"equal versions are offered unchecked", false, {{0, 5, 2, 1}, {1, 3, 1, 4}}, kUpToDate,
     true, "00000", "11000", 1, "004 V03.01"},
    {"downgrade of the first device disables every later row", false,
     {{0, 5, 1, 1}, {1, 9, 0, 4}, {3, 9, 0, 1}}, kDowngrade, false, "00000", "00000", 3,
     "001 V09.00"},
    // Nothing is chosen for the user.
    {"emergency: other variants and older versions", true,
     {{0, 5, 1, 9}, {1, 2, 0, 8}, {3, 1, 0, 1}}, "", true, "00000", "11010", 1, "008 V02.00"},
    {"emergency: every camera version at or above the file's", true,
     {{0, 5, 1, 9}, {1, 2, 0, 8}}, kUpToDate, true, "00000", "11000", 0, "009 V05.01"},
};

TEST(LoadFile, RowsBoxesAndButtonsShowThePolicysVerdict) {
    for (const LoadCase& c : kLoadCases) {
        SCOPED_TRACE(c.name);
        LoadRig r;
        ProgDlgTestAccess::options(r.dialog).emergencyMode = c.emergency;
        r.load(c.records);
        EXPECT_EQ(r.host.texts(), c.box[0] ? Texts{c.box} : Texts{});
        if (!r.host.boxes.empty()) {
            EXPECT_EQ(r.host.boxes[0].caption, c.box == kUpToDate ? "Warning" : "");
            EXPECT_EQ(r.host.boxes[0].icon, BoxIcon::Warning);
        }
        EXPECT_EQ(r.accepted(), c.accepted);
        EXPECT_EQ(r.dialog.Loaded().loadedFileName.empty(), !c.accepted);
        EXPECT_FALSE(r.dialog.Model().isEnabled(kIdProgram) && !c.accepted);
        EXPECT_EQ(r.checked(), c.checked);
        EXPECT_EQ(r.offered(), c.offered);
        EXPECT_EQ(r.dialog.Model().caption(loadedFwId(c.row)), c.shown);
        EXPECT_TRUE(r.dialog.Loaded().hasImage());  // the buffers stay until the next load
    }
}

TEST(LoadFile, DamagedFilesAreRefusedAndLeaveNoFileACancelClearsTheRows) {
    LoadRig r;
    const auto good = apptest::UpdateFiles::bytesOf({{0, 9, 0, 1, std::vector<uint8_t>(40, 7)}});
    const std::string fifo = r.files.folder.path("fifo.qup");
    const std::string missing = r.files.folder.path("missing.qup");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);  // would keep the dialog waiting for a writer
    const std::string notUpdateFile = "This is not a QEL Binary Update File V01.08  \n";
    const struct {
        void (*change)(std::vector<uint8_t>&);  // nullptr: `path` instead of the bytes
        std::string path;
        std::string text;
    } cases[] = {
        // The reader's own cases are with its tests; one of each message here.
        {[](auto& b) { b[0] = 'q'; }, "", notUpdateFile},  // lower case tag
        {[](auto& b) { b[b.size() - 32] ^= 1; }, "", "File is corrupt\n"},     // checksum
        {nullptr, missing, "Can't open file " + missing + ", error = 2\n"},
        {nullptr, fifo, "Can't open file " + fifo + ": it is not a regular file\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        r.load({{0, 9, 0, 1}});  // an accepted file before
        ASSERT_TRUE(r.accepted());
        r.host.boxes.clear();
        auto bytes = good;
        if (c.change) c.change(bytes);
        r.host.files.push_back(c.change ? r.files.write("bad.qup", bytes) : c.path);
        r.dialog.OnLoadFile();
        EXPECT_EQ(r.host.texts(), Texts{c.text});
        EXPECT_TRUE(r.dialog.Loaded().loadedFileName.empty());
        if (c.change) {
            EXPECT_FALSE(r.dialog.Loaded().hasImage() || r.dialog.Loaded().present[0]);
        }
        EXPECT_EQ(r.checked() + r.offered(), "0000000000");
        EXPECT_EQ(r.dialog.Model().caption(loadedFwId(0)), "--- V--.--");
        // Program must not stay enabled from the file before; the buttons were brought up to date.
        EXPECT_FALSE(r.dialog.Model().isEnabled(kIdProgram));
        EXPECT_TRUE(r.dialog.Model().isEnabled(kIdQuit));
    }

    // The buffers hold the file and 100 bytes more, and a scratch image of the same size.
    r.load(kNewer);
    EXPECT_EQ(r.dialog.Loaded().image.size(), apptest::UpdateFiles::bytesOf(kNewer).size() + 100);
    EXPECT_EQ(r.dialog.Loaded().readBackImage.size(), r.dialog.Loaded().image.size());
    // Cancelling the next load clears the rows and loads nothing.
    r.dialog.SetRowState(1, ROW_DONE);
    r.host.files.push_back(std::nullopt);
    r.dialog.OnLoadFile();
    EXPECT_TRUE(r.host.boxes.empty());
    EXPECT_TRUE(r.dialog.Loaded().loadedFileName.empty());
    EXPECT_EQ(r.dialog.Model().rowState[1], ROW_IDLE);
    EXPECT_EQ(r.checked() + r.offered(), "0000000000");
    EXPECT_EQ(r.rows([&](int row) { return r.dialog.Loaded().present[size_t(row)]; }), "00000");
}

}  // namespace

namespace {

// A signature is judged before the file is read: the signer in the status line, or a refusal
// that leaves the rows as the start of the load cleared them.
TEST(LoadFile, ShowsTheSignerOrRefusesBeforeTheRowsChange) {
    files::SecretKey key;
    std::string secretText, publicText;
    ASSERT_TRUE(files::generateKeys("", files::kKdfInteractive, "Maker", key, secretText,
                                    publicText));
    tools::TempFolder site;
    std::filesystem::create_directories(site.path("trusted-keys"));
    std::ofstream(site.path("trusted-keys/maker.pub")) << publicText;
    const std::string id = files::keyIdText(key.id);
    const std::string changed = " was changed after it was signed.\n";
    const std::string notSigned = " is not signed, and only signed update files are accepted "
                                  "here.\n";
    const struct {
        const char* name;
        bool sign, alter, require;
        std::string box;     // "" when accepted; the path follows the first character '@'
        std::string status;  // accepted: the status line after the path ('@') or alone
    } cases[] = {
        {"signed", true, false, false, "", "Signed by Maker (key " + id + "): file:update.qup"},
        {"altered", true, true, false, "@" + changed, ""},
        {"unsigned", false, false, false, "", "@ is not signed."},
        {"unsigned where required", false, false, true, "@" + notSigned, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LoadRig r;
        files::SigningPolicy before = files::loadSigningPolicy(site.path(), "", false);
        r.dialog.UseSigningPolicy(&before);
        r.load(kNewer);  // an accepted file before, unsigned
        ASSERT_TRUE(r.accepted());
        files::SigningPolicy policy = files::loadSigningPolicy(site.path(), "", c.require);
        r.dialog.UseSigningPolicy(&policy);
        r.host.boxes.clear();
        std::vector<uint8_t> bytes = apptest::UpdateFiles::bytesOf(kNewer);
        const std::string path = r.files.write("update.qup", bytes);
        std::remove((path + ".minisig").c_str());
        if (c.sign) {
            files::Signature signature;
            ASSERT_TRUE(files::signBytes(key, bytes, "file:update.qup", signature));
            std::ofstream(path + ".minisig") << files::formatSignature(signature, "test");
        }
        if (c.alter) {
            bytes[40] ^= 1;
            r.files.write("update.qup", bytes);
        }
        r.host.files.push_back(path);
        r.dialog.OnLoadFile();
        auto withPath = [&](const std::string& text) {
            return !text.empty() && text[0] == '@' ? path + text.substr(1) : text;
        };
        EXPECT_EQ(r.host.texts(), c.box.empty() ? Texts{} : Texts{withPath(c.box)});
        EXPECT_EQ(r.accepted(), c.box.empty());
        if (c.box.empty()) {
            EXPECT_EQ(r.dialog.Model().caption(kIdStatusLine), withPath(c.status));
            continue;
        }
        EXPECT_EQ(r.checked() + r.offered(), "0000000000");
        EXPECT_EQ(r.dialog.Model().caption(loadedFwId(0)), "--- V--.--");
        EXPECT_FALSE(r.dialog.Loaded().hasImage());
        EXPECT_FALSE(r.dialog.Model().isEnabled(kIdProgram));
    }

    // Without a policy from the front end the load reads the site's own and warns of every
    // key file it ignores, naming it.
    LoadRig r;
    std::ofstream(site.path("trusted-keys/broken.pub")) << "untrusted comment: x\nRWQ!\n";
    ::setenv("KELVOFLASH_SYSTEM_CONFIG_DIR", site.path().c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", site.path("none").c_str(), 1);
    const std::string path = r.files.write("update.qup", apptest::UpdateFiles::bytesOf(kNewer));
    r.host.files.push_back(path);
    r.dialog.OnLoadFile();
    ::unsetenv("KELVOFLASH_SYSTEM_CONFIG_DIR");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(r.host.texts(), (Texts{"Ignored the trusted key file " +
                                         site.path("trusted-keys/broken.pub") +
                                         ": the public key line is not valid base64.\n"}));
    EXPECT_TRUE(r.accepted());
}

}  // namespace

// The update file: writer and reader against the worked example, padding and checksum, the tag,
// and malformed files the reader must refuse without reading outside its bytes; writing a file
// over an old one, a link or in a folder that takes no new file.

#include <gtest/gtest.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>

#include "programmer/files/file_io.h"
#include "programmer/files/file_probe.h"
#include "programmer/files/update_file_reader.h"
#include "programmer/files/update_file_writer.h"
#include "protocol/little_endian.h"
#include "tests/files/sample_files.h"
#include "tests/tessiport/test_support.h"
#include "tools/temp_folder.h"

using namespace files;
using files_test::workedExampleFile;

namespace {

std::vector<uint8_t> finished(UpdateFileWriter& writer) {
    std::vector<uint8_t> bytes;
    EXPECT_EQ(writer.finish(bytes), 0u);
    return bytes;
}

// A reader result on an exact-size copy, so ASan sees any read past the end.
UpdateFileReadResult readExact(const std::vector<uint8_t>& bytes) {
    auto copy = std::make_unique<uint8_t[]>(bytes.size() + 1);
    std::memcpy(copy.get(), bytes.data(), bytes.size());
    return readUpdateFile(copy.get(), bytes.size());
}

}  // namespace

TEST(UpdateFile, WorkedExampleByteForByteAndBack) {
    UpdateFileWriter writer;
    const uint8_t data[] = {1, 2, 3};
    ASSERT_EQ(writer.addRecord(2, 0, VersionBlock{2, 3, 4, 10, 20, 5, 6, 2008}, data, 3), 0u);
    EXPECT_EQ(finished(writer), workedExampleFile());
    EXPECT_EQ(writer.checksum(), 0x1805u);

    std::vector<uint8_t> bytes = workedExampleFile();
    bytes.insert(bytes.end(), {0xDE, 0xAD, 0xBE, 0xEF, 0x00});  // ignored after the end record
    const UpdateFileReadResult result = readExact(bytes);
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.computedChecksum, 0x1805u);
    EXPECT_EQ(result.endRecordOffset, 80u);
    for (int i = 0; i < kDeviceCount; ++i)
        EXPECT_EQ(result.devices[size_t(i)].present, i == 2);
    const UpdateFileDevice& eeprom = result.devices[2];
    EXPECT_EQ(eeprom.dataOffset, 64u);
    EXPECT_EQ(eeprom.header.version.variant, 4);
    EXPECT_EQ(eeprom.header.version.version(), 3 * 256 + 2);
    EXPECT_EQ(eeprom.header.version.year, 2008);
}

TEST(UpdateFileWriter, PaddingAndChecksum) {
    for (uint32_t length : {16u, 17u}) {
        SCOPED_TRACE(length);
        UpdateFileWriter writer;
        std::vector<uint8_t> data(length, 0x01);
        ASSERT_EQ(writer.addRecord(0, 0x8000, VersionBlock{}, data.data(), length), 0u);
        const std::vector<uint8_t> bytes = finished(writer);
        const uint32_t padding = length % 16 == 0 ? 0 : 16 - length % 16;
        ASSERT_EQ(bytes.size(), 32 + 32 + length + padding + 32);
        // Header: length, startOffset 0x8000, index 0, zero version block, reserved 0xFF.
        uint32_t headerSum = 0;
        for (size_t i = 32; i < 64; ++i)
            headerSum += bytes[i];
        EXPECT_EQ(headerSum, (length & 0xFF) + 0x80 + 10 * 255);
        for (size_t i = 64 + length; i < 64 + length + padding; ++i)
            EXPECT_EQ(bytes[i], 0xFF);
        EXPECT_EQ(writer.checksum(), headerSum + length + padding * 255);
        EXPECT_TRUE(readExact(bytes).ok());
    }
}

TEST(UpdateFileWriter, RefusesWrongOrdersOpenRecordsAndCancels) {
    UpdateFileWriter writer;
    const uint8_t data[] = {0};
    EXPECT_EQ(writer.addRecord(5, 0, VersionBlock{}, data, 1), 0x80000005u);
    ASSERT_EQ(writer.addRecord(3, 0, VersionBlock{}, data, 1), 0u);
    EXPECT_EQ(writer.addRecord(3, 0, VersionBlock{}, data, 1), 0x80000005u);
    EXPECT_EQ(writer.addRecord(1, 0, VersionBlock{}, data, 1), 0x80000005u);
    ASSERT_EQ(writer.beginRecord(4, 0, VersionBlock{}), 0u);
    std::vector<uint8_t> bytes;
    EXPECT_EQ(writer.finish(bytes), 0x80000005u);
    // A record that stops early states the bytes it really holds.
    ASSERT_EQ(writer.appendData(data, 1), 0u);
    ASSERT_EQ(writer.endRecord(), 0u);
    ASSERT_EQ(writer.finish(bytes), 0u);
    const UpdateFileReadResult result = readExact(bytes);
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.devices[4].header.dataLength, 1u);

    // A cancelled record leaves no trace.
    UpdateFileWriter again;
    ASSERT_EQ(again.beginRecord(0, 0, VersionBlock{}), 0u);
    ASSERT_EQ(again.appendData(data, 1), 0u);
    again.cancelRecord();
    EXPECT_EQ(finished(again).size(), 64u);
}

// Representative rows; fuzz/ covers the reader broadly.
TEST(UpdateFileReader, FilesWithoutTheTagOrMalformedAreRefusedInsideTheirBytes) {
    const std::vector<uint8_t> good = workedExampleFile();
    const std::string notUpdateFile = "This is not a QEL Binary Update File V01.08  \n";
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        UpdateFileError error;
        UpdateFileFault fault;
    };
    auto cut = [&](size_t length) {
        return std::vector<uint8_t>(good.begin(), good.begin() + length);
    };
    auto with = [&](size_t offset, uint32_t value) {
        std::vector<uint8_t> bytes = good;
        protocol::writeU32(&bytes[offset], value);
        return bytes;
    };
    auto withTag = [&](const char* tag, size_t length) {
        std::vector<uint8_t> bytes = good;
        std::memset(bytes.data(), 0, 32);
        std::memcpy(bytes.data(), tag, length);
        return bytes;
    };
    std::vector<uint8_t> noZero = good;
    noZero[31] = ' ';
    const auto kNotUpdateFile = UpdateFileError::kNotUpdateFile;
    const auto kCorrupt = UpdateFileError::kCorrupt;
    const Case cases[] = {
        {"tag in other case", withTag("QEL binary Update File V01.08  ", 31), kNotUpdateFile, {}},
        {"tag one blank short", withTag("QEL Binary Update File V01.08 ", 30), kNotUpdateFile, {}},
        {"tag without its zero", noZero, kNotUpdateFile, {}},
        {"shorter than a tag", cut(31), kNotUpdateFile, {}},
        {"shorter than tag and end record", cut(63), kCorrupt, UpdateFileFault::kTooShort},
        {"half an end record", cut(100), kCorrupt, UpdateFileFault::kNoEndRecord},
        {"device index 5", with(40, 5), kCorrupt, UpdateFileFault::kBadDeviceIndex},
        {"dataLength padding past 2^32", with(32, 0xFFFFFFF1), kCorrupt,
         UpdateFileFault::kRecordPastEnd},
        {"a record four bytes past the end",
         with(32, uint32_t(good.size() - 32 - kRecordHeaderSize + 4)), kCorrupt,
         UpdateFileFault::kRecordPastEnd},
        // The checksum counts the padding as it stands.
        {"a padding byte 0x00", with(68, 0xFF00FFFF), kCorrupt, UpdateFileFault::kChecksum},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const UpdateFileReadResult result = readExact(c.bytes);
        EXPECT_EQ(result.error, c.error);
        if (c.error == kCorrupt) {
            EXPECT_EQ(result.fault, c.fault);
            EXPECT_EQ(result.message(), "File is corrupt\n");
        } else {
            EXPECT_EQ(result.message(), notUpdateFile);
            EXPECT_FALSE(result.tagValid);
        }
        for (const auto& device : result.devices)
            EXPECT_FALSE(device.present);
    }
}

TEST(UpdateFileReader, TheLastOfTwoRecordsForOneDeviceWins) {
    // The worked example's EEPROM record twice, the second one with minor version 5.
    const std::vector<uint8_t> example = workedExampleFile();
    std::vector<uint8_t> bytes(example.begin(), example.begin() + 80);
    bytes.insert(bytes.end(), example.begin() + 32, example.begin() + 80);
    bytes[80 + 12] = 5;
    bytes.insert(bytes.end(), example.begin() + 80, example.end());
    protocol::writeU32(&bytes[128], 2 * 0x1805 + 3);
    const UpdateFileReadResult result = readExact(bytes);
    ASSERT_EQ(result.error, UpdateFileError::kNone);
    EXPECT_EQ(result.devices[2].dataOffset, 80 + 32);
    EXPECT_EQ(result.devices[2].header.version.versionMinor, 5);
}

namespace {

constexpr uid_t kNobody = 65534;

// Runs `work` where folder permissions count: root ignores them, so as root it runs in a child
// that has become nobody. The result (an errno value) comes back as the child's exit status.
int whereFolderPermissionsCount(const std::function<int()>& work) {
    if (geteuid() != 0)
        return work();
    const pid_t child = fork();
    if (child == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)
            _exit(255);
        _exit(work());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

mode_t modeOf(const std::string& path) {
    struct stat info {};
    ::lstat(path.c_str(), &info);
    return info.st_mode;
}

size_t entriesIn(const std::string& folder) {
    return size_t(std::distance(std::filesystem::directory_iterator(folder), {}));
}

}  // namespace

// An overwrite replaces the old file as a whole and keeps its permissions; a link stays a link
// and its target (in its own folder) gets the bytes.
TEST(FileIoPosix, AnOverwriteKeepsTheModeAndWritesALinksTarget) {
    struct Case {
        const char* name;
        const char* written;      // the path given to the writer
        const char* link;         // a link at `written` to this (relative) path; null: none
        const char* target;       // where the bytes must end up
        mode_t oldMode;           // 0: no old file
    } cases[] = {
        {"a private file stays private", "out.qup", nullptr, "out.qup", 0600},
        {"an executable file stays so", "out.qup", nullptr, "out.qup", 0750},
        {"a link's target in another folder", "link.qup", "sub/real.qup", "sub/real.qup", 0640},
        {"a link to a link", "link.qup", "hop.qup", "sub/real.qup", 0600},
        {"a link to a file not made yet", "link.qup", "sub/new.qup", "sub/new.qup", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tools::TempFolder folder;
        std::filesystem::create_directory(folder.path("sub"));
        if (c.oldMode != 0) {
            libtest::writeText(folder.path(c.target), "old");
            ASSERT_EQ(::chmod(folder.path(c.target).c_str(), c.oldMode), 0);
        }
        if (c.link != nullptr) {
            ASSERT_EQ(::symlink(c.link, folder.path(c.written).c_str()), 0);
            if (std::string(c.link) == "hop.qup") {
                ASSERT_EQ(::symlink("sub/real.qup", folder.path("hop.qup").c_str()), 0);
            }
        }
        const size_t before = entriesIn(folder.path()) + entriesIn(folder.path("sub"));
        EXPECT_EQ(checkCanCreate(folder.path(c.written)), 0);
        ASSERT_EQ(writeFileSafely(folder.path(c.written), {1, 2, 3}), 0);
        EXPECT_EQ(libtest::readText(folder.path(c.target)), "\x01\x02\x03");
        if (c.oldMode != 0) {
            EXPECT_EQ(modeOf(folder.path(c.target)) & 07777, c.oldMode);
        }
        if (c.link != nullptr) {
            EXPECT_TRUE(S_ISLNK(modeOf(folder.path(c.written))));
        }
        EXPECT_EQ(entriesIn(folder.path()) + entriesIn(folder.path("sub")),
                  before + (c.oldMode == 0 ? 1 : 0))
            << "no temporary file left";
    }
}

// A folder that takes no new file: a writable file in it is written in place; a new one is
// refused before anything is written, with the folder's errno.
TEST(FileIoPosix, AFileInAReadOnlyFolderIsWrittenInPlace) {
    tools::TempFolder folder;
    const std::string readOnly = folder.path("ro");
    const std::string keep = folder.path("ro/keep.qup");
    ASSERT_EQ(::chmod(folder.path().c_str(), 0755), 0);
    std::filesystem::create_directory(readOnly);
    libtest::writeText(keep, "old");
    ASSERT_EQ(::chmod(keep.c_str(), 0644), 0);
    if (geteuid() == 0) {
        ASSERT_EQ(::chown(keep.c_str(), kNobody, kNobody), 0);
    }
    ASSERT_EQ(::chmod(readOnly.c_str(), 0555), 0);

    EXPECT_EQ(whereFolderPermissionsCount([&] { return checkCanCreate(keep); }), 0);
    EXPECT_EQ(whereFolderPermissionsCount([&] { return writeFileSafely(keep, {1, 2, 3}); }), 0);
    EXPECT_EQ(libtest::readText(keep), "\x01\x02\x03");
    const std::string added = folder.path("ro/new.qup");
    EXPECT_EQ(whereFolderPermissionsCount([&] { return checkCanCreate(added); }), EACCES);
    EXPECT_EQ(whereFolderPermissionsCount([&] { return writeFileSafely(added, {1}); }), EACCES);
    EXPECT_EQ(entriesIn(readOnly), 1u);
    ASSERT_EQ(::chmod(readOnly.c_str(), 0755), 0);
}

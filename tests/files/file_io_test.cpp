// The file layer of the update files, on every platform: bytes come back as written (a CR LF or
// a Ctrl-Z stays as it is), a write replaces the old file whole, and what is missing, too large,
// no regular file or a folder is refused with its cause and nothing left behind.

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "programmer/files/file_io.h"
#include "programmer/files/file_probe.h"

namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

#ifdef _WIN32
constexpr const char* kDevice = "NUL";
#else
constexpr const char* kDevice = "/dev/zero";
#endif

class FileIo : public ::testing::Test {
protected:
    void SetUp() override {
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        folder_ = fs::temp_directory_path() / ("kf-file-io-" + std::to_string(stamp));
        ASSERT_TRUE(fs::create_directory(folder_));
    }
    void TearDown() override { fs::remove_all(folder_); }
    std::string path(const std::string& name = "") const { return (folder_ / name).string(); }
    size_t entries() const { return size_t(std::distance(fs::directory_iterator(folder_), {})); }

    fs::path folder_;
};

TEST_F(FileIo, BytesComeBackAsWrittenAndAWriteReplacesTheOldFileWhole) {
    const Bytes image = {'a', '\r', '\n', 0x1A, 'b', '\n', 0x00, 0xFF};
    const std::string file = path("image.qup");
    ASSERT_EQ(files::writeFileSafely(file, Bytes(100, 7)), 0);
    ASSERT_EQ(files::writeFileSafely(file, image), 0);
    Bytes read;
    EXPECT_EQ(files::readWholeFile(file, read), 0);
    EXPECT_EQ(read, image);
    EXPECT_EQ(entries(), 1u) << "no temporary file left";
    EXPECT_TRUE(files::pathExists(file));
    EXPECT_EQ(files::checkCanCreate(path("new.qup")), 0);
    EXPECT_EQ(entries(), 1u) << "the probe is gone";
}

TEST_F(FileIo, RefusalsSayWhyAndLeaveNothing) {
    ASSERT_EQ(files::writeFileSafely(path("ten.bin"), Bytes(10, 1)), 0);
    const struct {
        std::string file;
        uint64_t maxSize;
        int expected;
    } reads[] = {{path("none.qup"), 1000, ENOENT},
                 {path("ten.bin"), 9, files::kErrFileTooLarge},
                 {kDevice, 1000, files::kErrNotRegularFile}};
    for (const auto& c : reads) {
        SCOPED_TRACE(c.file);
        Bytes read = {1, 2, 3};
        EXPECT_EQ(files::readWholeFile(c.file, read, c.maxSize), c.expected);
        EXPECT_TRUE(read.empty());
    }
    Bytes read;
    EXPECT_NE(files::readWholeFile(path(), read), 0);
    EXPECT_EQ(files::checkCanCreate(path()), EISDIR);
    EXPECT_EQ(files::writeFileSafely(path(), Bytes(3, 1)), EISDIR);
    EXPECT_EQ(files::writeFileSafely(path("missing/x.qup"), Bytes(3, 1)), ENOENT);
    EXPECT_EQ(entries(), 1u);
}

}  // namespace

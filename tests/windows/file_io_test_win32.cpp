// The Windows file layer of the update files: binary mode (a CR LF or a Ctrl-Z in an image stays
// as it is), a safe write that replaces an existing file, and the refusals of what is no regular
// file.

#include <windows.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "programmer/files/file_io.h"
#include "programmer/files/file_probe.h"

namespace {

using Bytes = std::vector<uint8_t>;

class WindowsFiles : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH] = {};
        ::GetTempPathA(MAX_PATH, temp);
        folder_ = std::string(temp) + "kelvoflash-files-" + std::to_string(::GetCurrentProcessId());
        ASSERT_TRUE(::CreateDirectoryA(folder_.c_str(), nullptr));
    }
    void TearDown() override {
        for (const std::string& name : files())
            ::DeleteFileA(path(name).c_str());
        ::RemoveDirectoryA(folder_.c_str());
    }
public:
    std::string path(const std::string& name) const { return folder_ + "\\" + name; }
    // The names of the files in the folder.
    std::vector<std::string> files() const {
        std::vector<std::string> names;
        WIN32_FIND_DATAA found{};
        const HANDLE search = ::FindFirstFileA((folder_ + "\\*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            return names;
        do
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                names.push_back(found.cFileName);
        while (::FindNextFileA(search, &found));
        ::FindClose(search);
        return names;
    }
    int filesInFolder() const { return int(files().size()); }

protected:
    std::string folder_;
};

TEST_F(WindowsFiles, BytesComeBackAsTheyWereWrittenAndAWriteReplacesTheOldFile) {
    const Bytes image = {'a', '\r', '\n', 0x1A, 'b', '\n', 0x00, 0xFF};
    const std::string file = path("image.qup");
    ASSERT_EQ(files::writeFileSafely(file, Bytes(100, 7)), 0);
    ASSERT_EQ(files::writeFileSafely(file, image), 0);
    Bytes read;
    EXPECT_EQ(files::readWholeFile(file, read), 0);
    EXPECT_EQ(read, image);
    EXPECT_EQ(filesInFolder(), 1);  // no temporary file left
    EXPECT_TRUE(files::pathExists(file));
    EXPECT_EQ(files::checkCanCreate(path("new.qup")), 0);
    EXPECT_EQ(filesInFolder(), 1);  // the probe is gone
}

struct Refusal {
    const char* name;
    std::string (*target)(const WindowsFiles&);
    uint64_t maxSize;
    int expected;
};

class WindowsFileRefusals : public WindowsFiles, public ::testing::WithParamInterface<Refusal> {};

TEST_P(WindowsFileRefusals, ReadingLeavesNoBytesAndSaysWhy) {
    ASSERT_EQ(files::writeFileSafely(path("ten.bin"), Bytes(10, 1)), 0);
    Bytes read = {1, 2, 3};
    EXPECT_EQ(files::readWholeFile(GetParam().target(*this), read, GetParam().maxSize),
              GetParam().expected);
    EXPECT_TRUE(read.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, WindowsFileRefusals,
    ::testing::Values(
        Refusal{"Missing", [](const WindowsFiles& f) { return f.path("none.qup"); }, 1000,
                ENOENT},
        Refusal{"TooLarge", [](const WindowsFiles& f) { return f.path("ten.bin"); }, 9,
                files::kErrFileTooLarge},
        Refusal{"Device", [](const WindowsFiles&) { return std::string("NUL"); }, 1000,
                files::kErrNotRegularFile}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowsFiles, AFolderIsNeitherReadNorWrittenOver) {
    Bytes read;
    EXPECT_NE(files::readWholeFile(folder_, read), 0);
    EXPECT_EQ(files::checkCanCreate(folder_), EISDIR);
    EXPECT_EQ(files::writeFileSafely(folder_ + "\\", Bytes(3, 1)), EISDIR);
    EXPECT_EQ(files::writeFileSafely(path("missing\\x.qup"), Bytes(3, 1)), ENOENT);
    EXPECT_EQ(filesInFolder(), 0);
}

}  // namespace

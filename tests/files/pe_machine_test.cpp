// The width of a Windows library from its PE header: what a 64-bit program may load. Headers
// cut short or pointing outside what was read count as unreadable, never as a width.

#include "programmer/files/pe_machine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using files::PeMachine;
using Bytes = std::vector<uint8_t>;

// An MS-DOS header whose e_lfanew is `offset`, "PE\0\0" there and `machine` after it, in a
// head of `size` bytes (the signature and field are left out where they do not fit).
Bytes image(uint32_t offset, uint16_t machine, size_t size = 0x200, const char* signature = "PE") {
    Bytes head(size, 0);
    head[0] = 'M';
    head[1] = 'Z';
    for (int i = 0; i < 4; ++i)
        head[0x3C + size_t(i)] = uint8_t(offset >> (8 * i));
    const uint8_t fields[] = {uint8_t(signature[0]), uint8_t(signature[1]), 0, 0,
                              uint8_t(machine),      uint8_t(machine >> 8)};
    for (size_t i = 0; i < sizeof fields && offset + i < size; ++i)
        head[offset + i] = fields[i];
    return head;
}

TEST(PeMachine, TheMachineFieldGivesTheWidthAndAnythingCutShortIsUnreadable) {
    Bytes noMz = image(0x80, 0x8664);
    noMz[0] = 'Z';
    const struct {
        const char* name;
        Bytes head;
        PeMachine expected;
    } cases[] = {
        {"32-bit", image(0x80, 0x014C), PeMachine::kX86},
        {"64-bit", image(0x80, 0x8664), PeMachine::kX64},
        {"ARM64", image(0x80, 0xAA64), PeMachine::kOther},
        {"machine field the last two bytes read", image(0x1FA, 0x8664), PeMachine::kX64},
        {"machine field one byte short", image(0x1FB, 0x8664), PeMachine::kUnreadable},
        {"header offset past the end", image(0x400, 0x8664), PeMachine::kUnreadable},
        {"header offset that wraps around", image(0xFFFFFFFE, 0x8664), PeMachine::kUnreadable},
        {"no MZ", noMz, PeMachine::kUnreadable},
        {"no PE signature", image(0x80, 0x8664, 0x200, "NE"), PeMachine::kUnreadable},
        {"shorter than the MS-DOS header", Bytes{'M', 'Z', 0, 0}, PeMachine::kUnreadable},
        {"empty", Bytes{}, PeMachine::kUnreadable},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(files::peMachineOf(c.head.data(), c.head.size()), c.expected);
    }
}

TEST(PeMachine, FilesAreReadOnlyAtTheirBeginningAndWhatCannotBeReadHasNoWidth) {
    namespace fs = std::filesystem;
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const fs::path folder = fs::temp_directory_path() / ("kf-pe-" + std::to_string(stamp));
    ASSERT_TRUE(fs::create_directory(folder));
    const auto write = [&folder](const std::string& name, const Bytes& bytes) {
        std::ofstream(folder / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return (folder / name).string();
    };
    const struct {
        const char* name;
        std::string path;
        PeMachine expected;
    } cases[] = {
        {"a 64-bit library of 1 MiB", write("clser64.dll", image(0xF8, 0x8664, 1 << 20)),
         PeMachine::kX64},
        {"a 32-bit library shorter than the head read", write("clser32.dll", image(0x80, 0x14C)),
         PeMachine::kX86},
        {"a header beyond the head read", write("clserfar.dll", image(0x2000, 0x8664, 0x4000)),
         PeMachine::kUnreadable},
        {"an empty file", write("clserempty.dll", {}), PeMachine::kUnreadable},
        {"a folder", folder.string(), PeMachine::kUnreadable},
        {"a missing file", (folder / "clsermissing.dll").string(), PeMachine::kUnreadable},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(files::peMachineOfFile(c.path), c.expected);
    }
    EXPECT_STREQ(files::peMachineName(PeMachine::kX86), "32-bit");
    EXPECT_STREQ(files::peMachineName(PeMachine::kX64), "64-bit");
    fs::remove_all(folder);
}

}  // namespace

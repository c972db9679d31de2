// Library names written the Windows way map to this platform's file names; missing libraries and
// symbols are reported.

#include "platform/dynamic_library.h"

#include <gtest/gtest.h>

namespace {

TEST(DynamicLibrary, MapsWindowsNamesKeepsPathsAndReportsWhatIsMissing) {
    for (auto [name, mapped] : {std::pair{"tessiport.dll", "libtessiport.so"},
                                {"clserme4", "libclserme4.so"},
                                {"CLSERSIS.DLL", "libCLSERSIS.so"},
                                {"clser*.dll", "libclser*.so"},
                                {"libclsersim.so", "libclsersim.so"},
                                {"libfoo.so.1", "libfoo.so.1"},
                                {"/opt/x/tessiport.dll", "/opt/x/tessiport.dll"},
                                {"./libtessiport.so", "./libtessiport.so"}})
        EXPECT_EQ(platform::platformLibraryName(name), mapped) << name;

    platform::DynamicLibrary library;
    EXPECT_NE(library.open("no_such_library_here.dll"), 0);
    EXPECT_FALSE(library.isOpen());
    EXPECT_FALSE(library.lastError().empty());
    EXPECT_EQ(library.symbol("anything"), nullptr);

    ASSERT_EQ(library.open("libc.so.6"), 0);
    EXPECT_NE(library.symbol("strlen"), nullptr);
    EXPECT_EQ(library.symbol("no_such_symbol_here"), nullptr);
    platform::DynamicLibrary moved(std::move(library));
    EXPECT_TRUE(moved.isOpen());
    EXPECT_FALSE(library.isOpen());
}

}  // namespace

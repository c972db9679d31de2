// Library names written the Windows way map to this platform's file names; missing libraries and
// symbols are reported; a moved-from library no longer owns the handle.

#include "platform/dynamic_library.h"

#include <gtest/gtest.h>

namespace {

TEST(DynamicLibrary, MapsWindowsNamesKeepsPathsAndReportsWhatIsMissing) {
    for (auto [name, mapped] : {std::pair{"clserme4", "libclserme4.so"},
                                {"CLSERSIS.DLL", "libCLSERSIS.so"},
                                {"libfoo.so.1", "libfoo.so.1"},
                                {"/opt/x/tessiport.dll", "/opt/x/tessiport.dll"}})
        EXPECT_EQ(platform::platformLibraryName(name), mapped) << name;

    platform::DynamicLibrary library;
    EXPECT_NE(library.open("no_such_library_here.dll"), 0);
    EXPECT_FALSE(library.lastError().empty());
    ASSERT_EQ(library.open("libc.so.6"), 0);
    EXPECT_EQ(library.symbol("no_such_symbol_here"), nullptr);
    platform::DynamicLibrary moved(std::move(library));
    EXPECT_TRUE(moved.isOpen());
    EXPECT_FALSE(library.isOpen());
}

}  // namespace

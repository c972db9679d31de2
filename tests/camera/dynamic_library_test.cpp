// Library names written the Windows way map to this platform's file names.

#include "platform/dynamic_library.h"

#include <gtest/gtest.h>

namespace {

TEST(PlatformLibraryName, MapsWindowsNamesAndKeepsPaths) {
    using platform::platformLibraryName;
    EXPECT_EQ(platformLibraryName("tessiport.dll"), "libtessiport.so");
    EXPECT_EQ(platformLibraryName("clserme4.dll"), "libclserme4.so");
    EXPECT_EQ(platformLibraryName("clserme4"), "libclserme4.so");
    EXPECT_EQ(platformLibraryName("CLSERSIS.DLL"), "libCLSERSIS.so");
    EXPECT_EQ(platformLibraryName("clser*.dll"), "libclser*.so");
    EXPECT_EQ(platformLibraryName("libclsersim.so"), "libclsersim.so");
    EXPECT_EQ(platformLibraryName("libfoo.so.1"), "libfoo.so.1");
    EXPECT_EQ(platformLibraryName("/opt/x/tessiport.dll"), "/opt/x/tessiport.dll");
    EXPECT_EQ(platformLibraryName("./libtessiport.so"), "./libtessiport.so");
}

TEST(DynamicLibrary, ReportsAMissingLibraryAndSymbol) {
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

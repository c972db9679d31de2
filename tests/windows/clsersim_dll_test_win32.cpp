// clsersim.dll under Wine: its exports as each variant's module-definition file names them, and
// the refusal of a serial index that leads nowhere. Its road to camsim over TCP is driven by
// camlink_host.sh, through tessiport.dll.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>

#include "platform/dynamic_library.h"
#include "tests/clsersim/variants.h"

namespace {

using InitFn = int32_t (*)(uint32_t, void**);

TEST(ClsersimDll, EachVariantExportsItsNamesAndNoOthers) {
    for (const cltest::Variant& variant : cltest::kVariants) {
        SCOPED_TRACE(variant.name);
        platform::DynamicLibrary dll;
        ASSERT_EQ(dll.open(std::string(variant.name) + ".dll"), 0) << dll.lastError();
        std::set<std::string> found;
        for (const cltest::Variant& any : cltest::kVariants)
            for (const std::string& name : any.exports)
                if (dll.symbol(name.c_str()) != nullptr)
                    found.insert(name);
        EXPECT_EQ(found, variant.exports);
    }
}

TEST(ClsersimDll, AnIndexWithoutACameraIsRefused) {
    platform::DynamicLibrary dll;
    ASSERT_EQ(dll.open("clsersim.dll"), 0) << dll.lastError();
    void* port = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(dll.function<InitFn>("clSerialInit")(7, &port), -10005);
    EXPECT_EQ(port, nullptr);
}

}  // namespace

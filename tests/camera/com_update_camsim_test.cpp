// CComUpdate opening and identifying cameras on real ptys: the rules for keeping or reopening the
// port, and a camera in boot mode.

#include <gtest/gtest.h>
#include <stdlib.h>

#include "camsim_process.h"
#include "programmer/camera/com_update.h"

namespace camera::test {
namespace {

class ComUpdateCamsimTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!CamsimProcess::available()) GTEST_SKIP() << "camsim not built";
    }
    protocol::NullLogSink log_;
};

TEST_F(ComUpdateCamsimTest, KeepsTheIdentifiedPortAndReopensAfterAChangeOrAFailure) {
    CamsimProcess first, second;
    ASSERT_TRUE(first.start({"--serial", "111", "--fault", "no-reply:0x0003:1"}));
    ASSERT_TRUE(second.start({"--serial", "222"}));
    CComUpdate link(false, log_, platform::realClock());

    // The first identification gets no answer: the port is not kept for the next open.
    setenv("QEL_COM1", first.portPath().c_str(), 1);
    EXPECT_EQ(link.Open(0), protocol::kErrNoCamera);
    EXPECT_EQ(link.port, -1);
    setenv("QEL_COM1", second.portPath().c_str(), 1);
    ASSERT_EQ(link.Open(0), 0u);
    EXPECT_EQ(link.serialNumber, 222u);

    // Same port number after a good identification: the open port is kept.
    setenv("QEL_COM1", first.portPath().c_str(), 1);
    ASSERT_EQ(link.Open(0), 0u);
    EXPECT_EQ(link.serialNumber, 222u);

    // Another port number: the old port is closed, the new one opened.
    setenv("QEL_COM2", first.portPath().c_str(), 1);
    ASSERT_EQ(link.Open(1), 0u);
    EXPECT_EQ(link.serialNumber, 111u);
    EXPECT_EQ(link.port, 2);
}

TEST_F(ComUpdateCamsimTest, FindsACameraInBootMode) {
    CamsimProcess camsim;
    ASSERT_TRUE(camsim.start({"--boot-mode"}));
    setenv("QEL_COM1", camsim.portPath().c_str(), 1);
    CComUpdate link(false, log_, platform::realClock());
    ASSERT_EQ(link.Open(0), 0u);
    EXPECT_EQ(link.bootMode, 1);
    EXPECT_EQ(link.serialNumber, 0x87654321u);
    EXPECT_EQ(link.linkWord, -1);
    EXPECT_EQ(link.interfaceType, 0);
}

}  // namespace
}  // namespace camera::test

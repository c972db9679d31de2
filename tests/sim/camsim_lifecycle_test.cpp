// The life of the camsim process and its port: reboot, reopening, state folder, ending.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "port_client.h"

using namespace simtest;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

const Bytes kGetCameraType = telegram(0x0110);

fs::path freshFolder(const char* name) {
    const fs::path dir = fs::temp_directory_path() /
                         (std::string("camsim_test_") + name + "_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

Bytes writeBlock(uint32_t first, const Bytes& data) {
    Bytes payload = withU32s({first, first + uint32_t(data.size()) - 1});
    Bytes block = data;
    block.resize(256, 0xFF);
    payload.insert(payload.end(), block.begin(), block.end());
    return telegram(0x1103, payload);
}

}  // namespace

TEST(CamsimReboot, SilentForTheBootTimeThenAnswersWithDevicesClosed) {
    CamsimProcess sim({"--boot-time", "300"});
    PortClient port(sim.portPath());
    ASSERT_TRUE(port.transact(telegram(0x7103, withU32s({0, 0}))));
    auto reply = port.transact(telegram(0x1704));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->size(), 5u);
    EXPECT_EQ(u16At(*reply, 0), 0x1784);
    const auto rebooted = std::chrono::steady_clock::now();
    EXPECT_FALSE(port.transact(kGetCameraType, 100ms));  // not heard while booting

    std::optional<Bytes> answer;
    while (!answer && std::chrono::steady_clock::now() - rebooted < 2s)
        answer = port.transact(kGetCameraType, 50ms);
    ASSERT_TRUE(answer);
    EXPECT_GE(std::chrono::steady_clock::now() - rebooted, 250ms);
    auto close = port.transact(telegram(0x0003, withU32s({0, 0})));
    ASSERT_TRUE(close);
    EXPECT_EQ(u32At(*close, 4), 0x80001053u);
}

TEST(CamsimReboot, NoAnswerAfterRebootFault) {
    CamsimProcess sim({"--boot-time", "50", "--fault", "no-answer-after-reboot"});
    PortClient port(sim.portPath());
    ASSERT_TRUE(port.transact(telegram(0x1704)));
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(port.transact(kGetCameraType, 200ms));
}

TEST(CamsimPort, ClientCanCloseAndReopenThePort) {
    CamsimProcess sim({});
    for (int round = 0; round < 3; ++round) {
        PortClient port(sim.portPath());
        ASSERT_TRUE(port.isOpen());
        auto reply = port.transact(kGetCameraType);
        ASSERT_TRUE(reply) << "round " << round;
        EXPECT_EQ(u16At(*reply, 0), 0x0190);
    }
    // A command sent and abandoned leaves its reply behind; a new client flushes it at open.
    {
        PortClient port(sim.portPath());
        port.send(telegram(0x0910));
        std::this_thread::sleep_for(50ms);
    }
    PortClient port(sim.portPath());
    auto reply = port.transact(kGetCameraType);
    ASSERT_TRUE(reply);
    EXPECT_EQ(u16At(*reply, 0), 0x0190);
}

TEST(CamsimPort, EndsOnStdinEofAndSigtermAndManagesItsLink) {
    const fs::path dir = freshFolder("link");
    const fs::path link = dir / "camera0";
    fs::create_symlink("/nonexistent", link);  // an old link is replaced
    {
        CamsimProcess sim({"--link", link.string()});
        ASSERT_TRUE(sim.started());
        EXPECT_EQ(fs::read_symlink(link).string(), sim.portPath());
        PortClient port(link.string());
        EXPECT_TRUE(port.transact(kGetCameraType));
        EXPECT_EQ(sim.closeStdinAndWait(2s), 0);
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    {
        CamsimProcess sim({"--link", link.string()});
        ASSERT_TRUE(sim.started());
        ASSERT_EQ(::kill(sim.pid(), SIGTERM), 0);
        EXPECT_EQ(sim.waitForExit(2s), 0);
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));

    // A regular file at the link path is never overwritten.
    std::ofstream(link) << "keep";
    CamsimProcess refused({"--link", link.string()});
    EXPECT_FALSE(refused.started());
    EXPECT_EQ(refused.waitForExit(2s), 1);
    std::string content;
    std::ifstream(link) >> content;
    EXPECT_EQ(content, "keep");
    fs::remove_all(dir);
}

TEST(CamsimState, ContentsSurviveARestartAndBadFilesAreRefused) {
    const fs::path dir = freshFolder("state");
    {
        CamsimProcess sim({"--state", dir.string(), "--erase-time", "10"});
        PortClient port(sim.portPath());
        ASSERT_TRUE(port.transact(telegram(0x7103, withU32s({0, 0}))));
        ASSERT_TRUE(port.transact(telegram(0x1003, withU32s({0, 0}))));
        // A version block in the Main FPGA's first bytes: variant 9, V02.05.
        ASSERT_TRUE(port.transact(writeBlock(0, {0x05, 0x02, 0x09, 0x00})));
        ASSERT_TRUE(port.transact(writeBlock(0x3FFFF0, {0xAB})));
        EXPECT_EQ(sim.closeStdinAndWait(2s), 0);
    }
    EXPECT_EQ(fs::file_size(dir / "main_fpga.bin"), 4u << 20);
    {
        CamsimProcess sim({"--state", dir.string()});
        PortClient port(sim.portPath());
        auto fw = port.transact(telegram(0x0810));
        ASSERT_TRUE(fw);
        ASSERT_GE(u16At(*fw, 4), 1);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&(*fw)[6])), "Main FPGA");
        EXPECT_EQ(u16At(*fw, 6 + 18), 9);
        ASSERT_TRUE(port.transact(telegram(0x7103, withU32s({0, 0}))));
        auto read = port.transact(telegram(0x1403, withU32s({0x3FFFF0, 0x3FFFF0})));
        ASSERT_TRUE(read);
        EXPECT_EQ((*read)[12], 0xAB);
    }
    // A state file of the wrong size stops camsim and stays as it was.
    std::ofstream(dir / "eeprom.bin", std::ios::binary) << "short";
    CamsimProcess refused({"--state", dir.string()});
    EXPECT_FALSE(refused.started());
    EXPECT_EQ(refused.waitForExit(2s), 1);
    EXPECT_EQ(fs::file_size(dir / "eeprom.bin"), 5u);
    fs::remove_all(dir);
}

TEST(CamsimState, WritesAreSavedAfterABurstAndBeforeAReboot) {
    const fs::path dir = freshFolder("reboot");
    CamsimProcess sim({"--state", dir.string(), "--boot-time", "50"});
    PortClient port(sim.portPath());
    auto firstByte = [&] { return std::ifstream(dir / "main_up.bin", std::ios::binary).get(); };
    ASSERT_TRUE(port.transact(telegram(0x7003, withU32s({0, 0}))));
    ASSERT_TRUE(port.transact(writeBlock(0x80000000, {0x42})));
    std::this_thread::sleep_for(700ms);  // the device stays open; the pause ends the burst
    EXPECT_EQ(firstByte(), 0x42);
    ASSERT_TRUE(port.transact(writeBlock(0x80000000, {0x02})));
    ASSERT_TRUE(port.transact(telegram(0x1704)));
    EXPECT_EQ(firstByte(), 0x02);
    fs::remove_all(dir);
}

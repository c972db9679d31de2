// clsersim.dll under Wine: its exports as each variant's module-definition file names them, and
// a command telegram to camsim (a Linux program, on the TCP port CLSERSIM_PORT0 names) and back.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/dynamic_library.h"
#include "protocol/commands.h"
#include "protocol/telegram.h"

namespace {

using InitFn = int32_t (*)(uint32_t, void**);
using TransferFn = int32_t (*)(void*, char*, uint32_t*, uint32_t);
using CloseFn = void (*)(void*);

const char* const kClSerialNames[] = {"clSerialInit",   "clSerialRead",
                                      "clSerialWrite",  "clSerialClose",
                                      "clGetSupportedBaudRates", "clSetBaudRate", "clFlushPort"};

std::vector<std::string> exportedOf(const char* library) {
    platform::DynamicLibrary dll;
    EXPECT_EQ(dll.open(library), 0) << dll.lastError();
    std::vector<std::string> found;
    for (const char* name : kClSerialNames)
        if (dll.symbol(name) != nullptr)
            found.push_back(name);
    for (const char* name : {"imgSessionSerialReadBytes", "imgSessionSerialWrite",
                             "imgSessionSerialFlush"})
        if (dll.symbol(name) != nullptr)
            found.push_back(name);
    return found;
}

TEST(ClsersimDll, EachVariantExportsItsNamesAndNoOthers) {
    using Names = std::vector<std::string>;
    EXPECT_EQ(exportedOf("clsersim.dll"),
              Names(std::begin(kClSerialNames), std::end(kClSerialNames)));
    EXPECT_EQ(exportedOf("clsersim_minimal.dll"),
              (Names{"clSerialInit", "clSerialRead", "clSerialWrite", "clSerialClose"}));
    EXPECT_EQ(exportedOf("clsersim_noclose.dll"),
              (Names{"clSerialInit", "clSerialRead", "clSerialWrite", "clGetSupportedBaudRates",
                     "clSetBaudRate", "clFlushPort"}));
    EXPECT_EQ(exportedOf("clsersim_imaq.dll"),
              (Names{"imgSessionSerialReadBytes", "imgSessionSerialWrite",
                     "imgSessionSerialFlush"}));
}

TEST(ClsersimDll, ATelegramReachesCamsimOverTcpAndItsReplyComesBack) {
    platform::DynamicLibrary dll;
    ASSERT_EQ(dll.open("clsersim.dll"), 0) << dll.lastError();
    const auto init = dll.function<InitFn>("clSerialInit");
    const auto write = dll.function<TransferFn>("clSerialWrite");
    const auto read = dll.function<TransferFn>("clSerialRead");
    const auto close = dll.function<CloseFn>("clSerialClose");
    void* port = nullptr;
    EXPECT_EQ(init(7, &port), -10005);  // no camera behind index 7
    ASSERT_EQ(init(0, &port), 0);

    uint8_t command[5] = {};
    protocol::writeU16(command, protocol::cmd::GET_CAMERA_TYPE);
    protocol::writeU16(command + 2, 5);
    command[4] = protocol::checksumOf(command, 4);
    uint32_t count = sizeof command;
    ASSERT_EQ(write(port, reinterpret_cast<char*>(command), &count, 1000), 0);
    EXPECT_EQ(count, 5u);

    uint8_t reply[64] = {};
    count = 4;
    ASSERT_EQ(read(port, reinterpret_cast<char*>(reply), &count, 2000), 0);
    ASSERT_EQ(count, 4u);
    EXPECT_EQ(protocol::readU16(reply), protocol::cmd::GET_CAMERA_TYPE | 0x0080);
    const uint32_t length = protocol::readU16(reply + 2);
    ASSERT_GE(length, 13u);
    ASSERT_LE(length, sizeof reply);
    count = length - 4;
    ASSERT_EQ(read(port, reinterpret_cast<char*>(reply + 4), &count, 2000), 0);
    ASSERT_EQ(count, length - 4);
    EXPECT_EQ(reply[length - 1], protocol::checksumOf(reply, length - 1));
    EXPECT_EQ(protocol::readU32(reply + 8), 4321u);  // camsim --serial 4321
    close(port);
}

}  // namespace

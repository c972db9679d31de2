// Several threads on several handles of the real library at once: transactions, time-outs,
// opens and closes that fail, the fixed-answer exports. Run under ThreadSanitizer by
// scripts/tsan.sh; in the other builds it checks that no answer gets mixed up.

#include <dlfcn.h>
#include <stdlib.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host_process.h"
#include "tessiport/include/tessiport.h"
#include "tools/camsim_process.h"
#include "tools/temp_folder.h"

namespace {

// Of each kind: COM-port boards 1-3 and grabber boards 4-6 (a COM-port entry takes its port
// number as board number, so the numbers must differ).
constexpr int kBoards = 3;
constexpr int kRounds = 40;

template <typename Function>
Function bind(void* library, const char* name) {
    return reinterpret_cast<Function>(dlsym(library, name));
}

TEST(Threads, SeveralHandlesAtOnce) {
    tools::TempFolder data;
    std::vector<std::unique_ptr<tools::CamsimProcess>> cameras;
    for (int board = 1; board <= kBoards; ++board) {
        cameras.push_back(std::make_unique<tools::CamsimProcess>());
        ASSERT_TRUE(cameras.back()->start(KF_BINARY_DIR "/bin/camsim",
                                          {"--serial", std::to_string(1000 + board)}));
        setenv(("QEL_COM" + std::to_string(board)).c_str(), cameras.back()->portPath().c_str(), 1);
    }
    for (int board = kBoards + 1; board <= 2 * kBoards; ++board) {
        cameras.push_back(std::make_unique<tools::CamsimProcess>());
        ASSERT_TRUE(cameras.back()->start(
            KF_BINARY_DIR "/bin/camsim",
            {"--camlink-port", "0", "--serial", std::to_string(2000 + board)}));
        setenv(("CLSERSIM_PORT" + std::to_string(board)).c_str(),
               cameras.back()->camlinkAddress().c_str(), 1);
    }
    setenv("QEL_COM9", "/nonexistent/port", 1);
    setenv("QEL_DATA_DIR", data.path().c_str(), 1);
    setenv("TESSIPORT_INSTANCE", tessiport_test::uniqueInstance().c_str(), 1);
    void* library = dlopen(tessiport_test::kLibrary.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    auto openCam = bind<decltype(&Open_Cam_Ext)>(library, "Open_Cam_Ext");
    auto closeCam = bind<decltype(&Close_Cam)>(library, "Close_Cam");
    auto command = bind<decltype(&Control_Command)>(library, "Control_Command");
    auto timeouts = bind<decltype(&Set_Timeouts)>(library, "Set_Timeouts");
    auto cameraError = bind<decltype(&Get_Camera_Error)>(library, "Get_Camera_Error");
    auto cancel = bind<decltype(&Cancel_Images)>(library, "Cancel_Images");
    ASSERT_TRUE(openCam && closeCam && command && timeouts && cameraError && cancel);

    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int board = 1; board <= 2 * kBoards; ++board) {
        const bool comPort = board <= kBoards;
        const int serial = (comPort ? 1000 : 2000) + board;
        threads.emplace_back([&, board, comPort, serial] {
            const std::string name = comPort ? "comport" + std::to_string(board) : "clsersim";
            KM4_OpenStruct open{};
            open.cl_ser_file_name = name.c_str();
            uint32_t handle = 0;
            const uint32_t mode = uint32_t(board) | (comPort ? 0xB100 : 0xB000);
            if (openCam(mode, &handle, &open) != 0) {
                ++failures;
                return;
            }
            const uint8_t getType[5] = {0x10, 0x01, 0x05, 0x00, 0x00};
            for (int round = 0; round < kRounds; ++round) {
                const uint32_t values[1] = {uint32_t(300 + round)};
                uint8_t reply[23] = {};
                if (timeouts(handle, values, 4) != 0 ||
                    command(handle, getType, 5, reply, sizeof reply) != 0 ||
                    reply[8] + 256 * reply[9] != serial)
                    ++failures;
            }
            if (closeCam(&handle) != 0)
                ++failures;
        });
    }
    // Opens that fail take and give back entries while the others work.
    threads.emplace_back([&] {
        KM4_OpenStruct open{};
        open.cl_ser_file_name = "comport9";
        for (int round = 0; round < kRounds / 4; ++round) {
            uint32_t handle = 0;
            if (openCam(0xB109, &handle, &open) != 0x80332006 || handle != 0)
                ++failures;
        }
    });
    threads.emplace_back([&] {
        for (int round = 0; round < kRounds; ++round)
            if (cancel(0x101) != 0xA0332002 || cameraError() != 0)
                ++failures;
    });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures, 0);
    dlclose(library);
}

}  // namespace

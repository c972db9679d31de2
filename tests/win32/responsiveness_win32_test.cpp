// kelvoflash.exe under Wine while its flows wait for the camera: a second process (this test)
// asks the main window for an answer every 20 ms (WM_NULL sent with a time-out, as Windows does
// before it calls a window "Not Responding"), from the start until the program has ended. The
// window must answer within 1 s of the start and then within 250 ms, through a Camera Link search
// with no camera behind the grabber and a programming run whose erase takes 10 s (camsim started
// with --erase-time 10000 by the test's command). Closing the window during that run is refused
// with a box that says why, and the run goes on.

#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "programmer/app/control_ids.h"
#include "programmer/app/handler_queue.h"
#include "programmer/files/file_io.h"
#include "programmer/files/file_probe.h"
#include "tests/win32/dialog_driver.h"
#include "tools/sample_update.h"

namespace win32test {
namespace {

using Ms = std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr Ms kFirstWindowLimit{1000};
constexpr Ms kAnswerLimit{250};

long msSince(Clock::time_point then) {
    return long(std::chrono::duration_cast<Ms>(Clock::now() - then).count());
}

// Times the main dialog's answers from another thread of this process.
class WindowAnswers {
public:
    explicit WindowAnswers(DWORD process) : started_(Clock::now()) {
        thread_ = std::thread([this, process] { loop(process); });
    }
    ~WindowAnswers() { stop(); }
    void stop() {
        stopping_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    // Start to the main dialog's first answer; -1 when it never answered.
    long firstAnswerMs() const { return first_; }
    long worstMs() const { return worst_; }
    // When the worst answer came, from the start.
    long worstAtMs() const { return worstAt_; }
    int answers() const { return answers_; }

private:
    void loop(DWORD process) {
        HWND main = nullptr;
        while (!stopping_) {
            if (main == nullptr || !IsWindow(main)) {
                main = waitForDialog(process, app::kIdStatusLine, "", 20);
                continue;
            }
            const auto sent = Clock::now();
            DWORD_PTR result = 0;
            if (SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &result) == 0) {
                main = nullptr;  // the window went while it was asked
                continue;
            }
            // The slow answers, to find what held the window up.
            if (msSince(sent) > kAnswerLimit.count() / 2)
                std::printf("[ figures ] answer of %ld ms at %ld ms\n", msSince(sent),
                            msSince(started_));
            // Before its first answer the window was still being shown (limited to 1 s).
            if (first_ >= 0 && msSince(sent) > worst_) {
                worst_ = msSince(sent);
                worstAt_ = msSince(started_);
            }
            if (first_ < 0)
                first_ = msSince(started_);
            ++answers_;
            std::this_thread::sleep_for(Ms(20));
        }
    }

    Clock::time_point started_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<long> first_{-1};
    std::atomic<long> worst_{0};
    std::atomic<long> worstAt_{0};
    std::atomic<int> answers_{0};
};

// A grabber line with nothing behind it: the connection is taken, nothing ever answers.
class SilentLine {
public:
    SilentLine() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int size = sizeof address;
        if (socket_ == INVALID_SOCKET ||
            ::bind(socket_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            ::listen(socket_, 4) != 0 ||
            ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            return;
        address_ = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    }
    ~SilentLine() {
        if (socket_ != INVALID_SOCKET)
            closesocket(socket_);
        WSACleanup();
    }
    const std::string& address() const { return address_; }

private:
    SOCKET socket_ = INVALID_SOCKET;
    std::string address_;
};

// The Head FPGA at 003 V01.01, 64 KiB.
std::string writeHeadUpdate(const std::string& folder) {
    const tools::SampleSettings sample{1, 1, 3, {false, false, false, false, true}, 0, 0, 64 * 1024};
    std::vector<uint8_t> bytes;
    EXPECT_EQ(tools::buildSampleUpdateFile(sample, bytes), 0u);
    const std::string path = folder + "head_update.qup";
    EXPECT_EQ(files::writeFileSafely(path, bytes), 0);
    return path;
}

void noCamera(const Program& program, const std::string&) {
    HWND box = waitForBox(program.id(), "Cannot connect camera");
    ASSERT_NE(box, nullptr);
    click(box, IDOK);
}

void programWithALongErase(const Program& program, const std::string& folder) {
    HWND main = waitForDialog(program.id(), app::kIdStatusLine);
    ASSERT_NE(main, nullptr);
    // The connection's last step (the camera information pumps while Load File already shows).
    ASSERT_TRUE(waitUntil([&] {
        return text(main, app::kIdStatusLine) ==
               "Camera SNr. 1234 found   Load Update File, select other port or close programmer";
    })) << text(main, app::kIdStatusLine);
    click(main, app::kIdLoadFile);
    ASSERT_TRUE(answerFileDialog(program.id(), writeHeadUpdate(folder)))
        << "no file dialog; status: " << text(main, app::kIdStatusLine);
    ASSERT_TRUE(waitUntil([&] { return enabled(main, app::kIdQuit) && enabled(main, app::kIdProgram); }))
        << text(main, app::kIdStatusLine);
    click(main, app::kIdProgram);
    ASSERT_TRUE(waitUntil([&] { return !enabled(main, app::kIdQuit); }, 5000)) << "the run starts";
    // Closing the window and Escape during the run: refused with the reason, the run goes on.
    close(main);
    HWND box = waitForBox(program.id(), "cannot be closed now", 10000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(boxText(box), app::kCloseRefusedText);
    click(box, IDOK);
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(box); }));
    std::this_thread::sleep_for(Ms(200));  // the box's thread has ended
    PostMessageW(main, WM_COMMAND, IDCANCEL, 0);
    box = waitForBox(program.id(), "cannot be closed now", 10000);
    ASSERT_NE(box, nullptr);
    click(box, IDOK);
    EXPECT_TRUE(IsWindow(main));
    ASSERT_TRUE(waitUntil([&] { return enabled(main, app::kIdQuit); }, 120000))
        << text(main, app::kIdStatusLine);
    EXPECT_EQ(text(main, app::currentFwId(4)), "003 V01.01") << "the run went on to its end";
    click(main, app::kIdQuit);
}

void backUpThePll(const Program& program, const std::string& folder) {
    HWND main = waitForDialog(program.id(), app::kIdStatusLine);
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(waitUntil([&] {
        return enabled(main, app::kIdQuit) && enabled(main, app::kIdPacket);
    })) << text(main, app::kIdStatusLine);
    // A direct connection leaves the check boxes disabled; two mode switches enable them.
    for (int i = 0; i < 2; ++i)
        PostMessageW(main, WM_TOGGLE_PACKET_MODE, app::kIdPacket, 0);
    ASSERT_TRUE(waitUntil([&] {
        return enabled(main, app::checkBoxId(3)) && text(main, app::kIdPacket) == "DevicePacket";
    })) << text(main, app::kIdPacket);
    click(main, app::checkBoxId(3));
    ASSERT_TRUE(waitUntil([&] { return checked(main, app::checkBoxId(3)); }));
    // Wine reuses process ids, and with them scratch folders: no overwrite question here.
    const std::string backup = folder + "backup.qup";
    DeleteFileA(backup.c_str());
    click(main, app::kIdPacket);
    ASSERT_TRUE(answerFileDialog(program.id(), backup))
        << "no save dialog; status: " << text(main, app::kIdStatusLine);
    ASSERT_TRUE(waitUntil([&] { return !enabled(main, app::kIdQuit); }, 5000)) << "the run starts";
    ASSERT_TRUE(waitUntil([&] { return enabled(main, app::kIdQuit); }, 120000))
        << text(main, app::kIdStatusLine);
    EXPECT_TRUE(files::pathExists(backup)) << text(main, app::kIdStatusLine);
    click(main, app::kIdQuit);
}

TEST(KelvoflashAnswers, TheMainWindowAnswersThroughEveryLongWait) {
    const struct {
        const char* name;
        bool silentLine;
        const char* arguments;
        void (*steps)(const Program&, const std::string&);
    } scenarios[] = {
        {"Camera Link search with no camera", true, "-S -T2 -B0 -Nclsersim.dll", noCamera},
        {"erase of 10 s in a programming run", false, "-S -T2 -B0 -Nclsersim.dll",
         programWithALongErase},
        {"backup of the PLL", false, "-P1 -S -T2 -B0 -Nclsersim.dll", backUpThePll},
    };
    char camsim[64] = {};
    GetEnvironmentVariableA("CLSERSIM_PORT0", camsim, sizeof camsim);
    for (const auto& s : scenarios) {
        SCOPED_TRACE(s.name);
        SilentLine silent;
        ASSERT_FALSE(silent.address().empty());
        SetEnvironmentVariableA("CLSERSIM_PORT0", s.silentLine ? silent.address().c_str() : camsim);
        const std::string folder = scratchFolder();
        Program program(kelvoflashPath(), s.arguments, folder);
        ASSERT_TRUE(program.started());
        WindowAnswers answers(program.id());
        s.steps(program, folder);
        EXPECT_EQ(program.waitForExit(kWaitMs), 0u);
        answers.stop();
        std::printf("[ figures ] %s: first answer after %ld ms, worst answer %ld ms at %ld ms "
                    "(%d answers)\n",
                    s.name, answers.firstAnswerMs(), answers.worstMs(), answers.worstAtMs(),
                    answers.answers());
        EXPECT_GE(answers.firstAnswerMs(), 0) << "the window never answered";
        EXPECT_LE(answers.firstAnswerMs(), kFirstWindowLimit.count());
        EXPECT_LE(answers.worstMs(), kAnswerLimit.count());
        EXPECT_GT(answers.answers(), 10);
    }
    SetEnvironmentVariableA("CLSERSIM_PORT0", camsim);
}

}  // namespace
}  // namespace win32test

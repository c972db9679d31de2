// The real library in this process, called from several threads at once the way a careless host
// would: closes during transactions and rate changes, opens of one board at once, several
// threads on one COM port, closes and reopens under traffic, grabber libraries loaded by several
// threads; then a bounded random mix of all calls. Run under ThreadSanitizer by scripts/tsan.sh
// and under AddressSanitizer in the sanitizer build; elsewhere it checks codes and answers.

#include <dlfcn.h>
#include <stdlib.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "host_process.h"
#include "test_support.h"
#include "tessiport/include/tessiport.h"
#include "tools/camsim_process.h"
#include "tools/temp_folder.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr uint32_t kTestedOpen = QEL_KM4_CL_ONLY_SERIAL_INIT | INITMODE_DLL_NAME;
constexpr uint32_t kUntestedOpen = kTestedOpen | INITMODE_NO_CONNECTION_TEST;
constexpr uint32_t kComOpen = kUntestedOpen | INITMODE_ALLOW_COMPORT;
constexpr uint32_t kComTimeout = 0xA00B2005;  // the COM-port transport's missing reply
const uint8_t kGetType[5] = {0x10, 0x01, 0x05, 0x00, 0x00};
const uint8_t kGetStatus[5] = {0x10, 0x02, 0x05, 0x00, 0x00};  // the camera with a fault drops it

// One camera: COM-port boards (camsim's pty as QEL_COMn) and grabber boards (camsim's Camera Link
// socket as CLSERSIM_PORTn). A COM-port entry takes its port number as board number, so the two
// kinds use different numbers.
struct Board {
    int number;
    bool comPort;
    std::vector<std::string> faults;
    int serial() const { return 1000 + number; }
    uint32_t handle() const { return 0x100 + uint32_t(number); }
    std::string libraryName() const {
        return comPort ? "comport" + std::to_string(number) : "clsersim";
    }
};

template <typename Function>
Function bind(void* library, const char* name) {
    return reinterpret_cast<Function>(dlsym(library, name));
}

// The cameras, a data folder with a log file, and libtessiport.so loaded with them.
class LoadedLibrary {
public:
    explicit LoadedLibrary(const std::vector<Board>& boards) {
        for (const Board& board : boards) {
            auto camera = std::make_unique<tools::CamsimProcess>();
            std::vector<std::string> options = {"--serial", std::to_string(board.serial())};
            if (!board.comPort)
                options.insert(options.end(), {"--camlink-port", "0"});
            for (const std::string& fault : board.faults)
                options.insert(options.end(), {"--fault", fault});
            // A loaded machine may keep a sanitized camsim from saying where it is in time.
            bool started = camera->start(KF_BINARY_DIR "/bin/camsim", options);
            if (!started) {
                camera->stop();
                started = camera->start(KF_BINARY_DIR "/bin/camsim", options);
            }
            if (!started) {
                failure_ = "camsim for board " + std::to_string(board.number) + " did not start";
                return;
            }
            const std::string n = std::to_string(board.number);
            if (board.comPort)
                setenv(("QEL_COM" + n).c_str(), camera->portPath().c_str(), 1);
            else
                setenv(("CLSERSIM_PORT" + n).c_str(), camera->camlinkAddress().c_str(), 1);
            cameras_.push_back(std::move(camera));
        }
        libtest::writeText(data_.path("tessiport.log"), "");
        setenv("QEL_DATA_DIR", data_.path().c_str(), 1);
        setenv("XDG_RUNTIME_DIR", runtime_.path().c_str(), 1);
        setenv("TESSIPORT_INSTANCE", tessiport_test::uniqueInstance().c_str(), 1);
        if (cameras_.size() != boards.size())
            return;
        library_ = dlopen(tessiport_test::kLibrary.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library_ == nullptr) {
            failure_ = dlerror();
            return;
        }
        open = bind<decltype(&Open_Cam_Ext)>(library_, "Open_Cam_Ext");
        close = bind<decltype(&Close_Cam)>(library_, "Close_Cam");
        command = bind<decltype(&Control_Command)>(library_, "Control_Command");
        timeouts = bind<decltype(&Set_Timeouts)>(library_, "Set_Timeouts");
        getTransfer = bind<decltype(&Get_Transfer_Parameters)>(library_, "Get_Transfer_Parameters");
        setTransfer = bind<decltype(&Set_Transfer_Parameters)>(library_, "Set_Transfer_Parameters");
    }
    ~LoadedLibrary() {
        if (library_ != nullptr)
            dlclose(library_);
    }
    bool ready() const { return library_ != nullptr && open && close && command && timeouts &&
                                getTransfer && setTransfer; }
    const std::string& failure() const { return failure_; }
    std::string logText() const { return libtest::readText(data_.path("tessiport.log")); }

    uint32_t openBoard(const Board& board, uint32_t mode, uint32_t& handle) const {
        const std::string name = board.libraryName();
        KM4_OpenStruct openStruct{};
        openStruct.cl_ser_file_name = name.c_str();
        return open(mode | uint32_t(board.number), &handle, &openStruct);
    }
    // GET_CAMERA_TYPE; an answer that is not this board's camera is reported as 1.
    uint32_t askType(const Board& board, uint32_t handle) const {
        uint8_t reply[23] = {};
        const uint32_t result = command(handle, kGetType, 5, reply, sizeof reply);
        if (result == 0 && reply[8] + 256 * reply[9] != board.serial())
            return 1;
        return result;
    }
    // A command time-out that a loaded machine running sanitized cameras keeps.
    void patient(uint32_t handle) const {
        const uint32_t values[1] = {1000};
        timeouts(handle, values, sizeof values);
    }
    // Set_Transfer_Parameters with the rate alone.
    uint32_t setRate(uint32_t handle, uint32_t rate) const {
        return setTransfer(handle, &rate, sizeof rate);
    }

    decltype(&Open_Cam_Ext) open = nullptr;
    decltype(&Close_Cam) close = nullptr;
    decltype(&Control_Command) command = nullptr;
    decltype(&Set_Timeouts) timeouts = nullptr;
    decltype(&Get_Transfer_Parameters) getTransfer = nullptr;
    decltype(&Set_Transfer_Parameters) setTransfer = nullptr;

private:
    std::vector<std::unique_ptr<tools::CamsimProcess>> cameras_;
    tools::TempFolder data_;
    tools::TempFolder runtime_;
    void* library_ = nullptr;
    std::string failure_;
};

// A hang inside the library ends the test run with a message instead of blocking it.
class Watchdog {
public:
    Watchdog(std::string what, std::chrono::seconds limit) : what_(std::move(what)) {
        thread_ = std::thread([this, limit] {
            std::unique_lock lock(mutex_);
            if (!done_.wait_for(lock, limit, [this] { return finished_; })) {
                std::fprintf(stderr, "hung: %s\n", what_.c_str());
                std::abort();
            }
        });
    }
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
        }
        done_.notify_all();
        thread_.join();
    }

private:
    std::string what_;
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread thread_;
};

// What went wrong in a run, collected from every thread.
class Faults {
public:
    void add(const std::string& text) {
        std::lock_guard lock(mutex_);
        texts_.push_back(text);
    }
    void expect(bool ok, const std::string& text) {
        if (!ok)
            add(text);
    }
    std::vector<std::string> texts() const {
        std::lock_guard lock(mutex_);
        return texts_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> texts_;
};

std::string hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", value);
    return text;
}

void runThreads(int count, const std::function<void(int)>& body) {
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i)
        threads.emplace_back(body, i);
    for (std::thread& thread : threads)
        thread.join();
}

int countOf(const std::string& text, const std::string& part) {
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// COM-port boards 1 (its camera drops GET_CAMERA_STATUS) and 2; grabber boards 3-8 (the camera
// of 8 drops GET_CAMERA_INFO, so every test of its connection reconnects).
const std::vector<Board> kRaceBoards = {
    {1, true, {"no-reply:0x0210"}}, {2, true, {}},  {3, false, {}}, {4, false, {}},
    {5, false, {}},                 {6, false, {}}, {7, false, {}}, {8, false, {"no-reply:0x0111"}},
};
const Board& board(int number) {
    return kRaceBoards[size_t(number - 1)];
}

// Closing a COM-port handle while a transaction on it waits for a reply that never comes: the
// close waits for the transaction instead of freeing the port under it.
void closeDuringComTransaction(const LoadedLibrary& lib, Faults& faults) {
    uint32_t handle = 0;
    faults.expect(lib.openBoard(board(1), kComOpen, handle) == 0, "open comport1");
    const uint32_t timeout[1] = {600};
    lib.timeouts(handle, timeout, sizeof timeout);
    const Clock::time_point start = Clock::now();
    std::thread transaction([&] {
        const uint32_t result = lib.command(handle, kGetStatus, 5, nullptr, 0);
        faults.expect(result == kComTimeout, "unanswered command gave " + hex(result));
    });
    std::this_thread::sleep_for(milliseconds(150));
    uint32_t closing = handle;
    faults.expect(lib.close(&closing) == 0, "close during the transaction");
    // The close came back only once the transaction had waited its time.
    faults.expect(Clock::now() - start >= milliseconds(590), "the close did not wait");
    transaction.join();
    faults.expect(lib.askType(board(1), handle) == TP_ERR_HANDLE, "handle still valid");
}

// Closing a grabber handle while a rate change on it waits for the camera to switch: the close
// waits for it; the change's commands after the close began find the handle closed.
void closeDuringRateChange(const LoadedLibrary& lib, Faults& faults) {
    uint32_t handle = 0;
    faults.expect(lib.openBoard(board(4), kUntestedOpen, handle) == 0, "open board 4");
    const Clock::time_point start = Clock::now();
    std::thread change([&] {
        const uint32_t result = lib.setRate(handle, 115200);
        faults.expect(result == 0 || result == TP_ERR_HANDLE, "rate change gave " + hex(result));
    });
    std::this_thread::sleep_for(milliseconds(60));
    uint32_t closing = handle;
    faults.expect(lib.close(&closing) == 0, "close during the rate change");
    // The camera's switch takes 150 ms: the close came back only after it.
    faults.expect(Clock::now() - start >= milliseconds(150), "the close did not wait");
    change.join();
}

// Eight connection-tested opens of one board at once: one entry, one channel, eight counts.
void simultaneousOpensOfOneBoard(const LoadedLibrary& lib, Faults& faults) {
    constexpr int kOpens = 8;
    const int initsBefore = countOf(lib.logText(), "Open_Cam_Ext: call pclSerialInit");
    std::vector<uint32_t> handles(kOpens, 0);
    runThreads(kOpens, [&](int i) {
        const uint32_t result = lib.openBoard(board(3), kTestedOpen, handles[size_t(i)]);
        faults.expect(result == 0 && handles[size_t(i)] == board(3).handle(),
                      "open gave " + hex(result) + " handle " + hex(handles[size_t(i)]));
    });
    const int inits = countOf(lib.logText(), "Open_Cam_Ext: call pclSerialInit") - initsBefore;
    faults.expect(inits == 1, std::to_string(inits) + " channels opened");
    lib.patient(board(3).handle());
    for (int i = 0; i + 1 < kOpens; ++i)
        faults.expect(lib.close(&handles[size_t(i)]) == 0, "close " + std::to_string(i));
    faults.expect(lib.askType(board(3), board(3).handle()) == 0, "channel closed under an open");
    faults.expect(lib.close(&handles.back()) == 0, "last close");
    faults.expect(lib.askType(board(3), board(3).handle()) == TP_ERR_HANDLE, "still open");
}

// Several threads sending on one COM-port handle: each gets its own camera's whole answer.
void commandsOnOneComPort(const LoadedLibrary& lib, Faults& faults) {
    uint32_t handle = 0;
    faults.expect(lib.openBoard(board(2), kComOpen, handle) == 0, "open comport2");
    lib.patient(handle);
    runThreads(6, [&](int) {
        for (int round = 0; round < 25; ++round) {
            const uint32_t result = lib.askType(board(2), handle);
            faults.expect(result == 0, "command gave " + hex(result));
        }
    });
    faults.expect(lib.close(&handle) == 0, "close comport2");
}

// Commands from several threads while another closes and reopens the same boards: every
// command either runs on the open board or finds the handle closed.
void commandsWhileReopening(const LoadedLibrary& lib, Faults& faults) {
    for (const int number : {2, 5}) {
        const Board& b = board(number);
        const uint32_t mode = b.comPort ? kComOpen : kUntestedOpen;
        std::atomic<bool> stop{false};
        std::thread reopener([&] {
            for (int round = 0; round < 12; ++round) {
                uint32_t handle = 0;
                faults.expect(lib.openBoard(b, mode, handle) == 0, "reopen " + b.libraryName());
                lib.patient(handle);
                std::this_thread::sleep_for(milliseconds(5));
                faults.expect(lib.close(&handle) == 0, "close " + b.libraryName());
            }
            stop = true;
        });
        runThreads(4, [&](int) {
            while (!stop) {
                const uint32_t result = lib.askType(b, b.handle());
                faults.expect(result == 0 || result == TP_ERR_HANDLE,
                              b.libraryName() + " command gave " + hex(result));
            }
        });
        reopener.join();
    }
}

// Grabber boards opened, used and closed by several threads at once: each open loads the
// grabber's library while other threads call into it.
void grabberLibrariesLoadedAtOnce(const LoadedLibrary& lib, Faults& faults) {
    const std::vector<int> numbers = {3, 5, 6, 7};
    runThreads(int(numbers.size()), [&](int i) {
        const Board& b = board(numbers[size_t(i)]);
        for (int round = 0; round < 6; ++round) {
            uint32_t handle = 0;
            faults.expect(lib.openBoard(b, kUntestedOpen, handle) == 0, "open " + hex(b.handle()));
            lib.patient(handle);
            const uint32_t result = lib.askType(b, handle);
            faults.expect(result == 0, hex(b.handle()) + " command gave " + hex(result));
            faults.expect(lib.close(&handle) == 0, "close " + hex(b.handle()));
        }
    });
}

// Reconnects (the channel closed and opened again) while other threads send on the same handle:
// each command runs whole on the old channel or on the new one.
void commandsDuringReconnects(const LoadedLibrary& lib, Faults& faults) {
    uint32_t handle = 0;
    faults.expect(lib.openBoard(board(8), kUntestedOpen, handle) == 0, "open board 8");
    std::atomic<bool> stop{false};
    std::thread reconnecter([&] {
        for (int round = 0; round < 3; ++round) {
            uint32_t value = handle;
            const uint32_t result = lib.openBoard(board(8), kTestedOpen, value);
            faults.expect(result == TP_ERR_CHANNEL && value == handle,
                          "reconnect gave " + hex(result) + " handle " + hex(value));
        }
        stop = true;
    });
    runThreads(3, [&](int) {
        while (!stop) {
            const uint32_t result = lib.askType(board(8), handle);
            faults.expect(result == 0, "command gave " + hex(result));
        }
    });
    reconnecter.join();
    faults.expect(lib.close(&handle) == 0, "close board 8");
}

struct Race {
    const char* name;
    std::vector<int> boards;  // of kRaceBoards
    void (*run)(const LoadedLibrary&, Faults&);
};

const Race kRaces[] = {
    {"CloseDuringComTransaction", {1}, closeDuringComTransaction},
    {"CloseDuringRateChange", {4}, closeDuringRateChange},
    {"EightOpensOfOneBoard", {3}, simultaneousOpensOfOneBoard},
    {"SixThreadsOnOneComPort", {2}, commandsOnOneComPort},
    {"CommandsWhileTheBoardIsReopened", {2, 5}, commandsWhileReopening},
    {"GrabberLibrariesLoadedByThreadsAtOnce", {3, 5, 6, 7}, grabberLibrariesLoadedAtOnce},
    {"CommandsDuringReconnects", {8}, commandsDuringReconnects},
};

void PrintTo(const Race& race, std::ostream* out) {
    *out << race.name;
}

// Each race in a process of its own under ctest: a crash shows which one it was.
class Races : public testing::TestWithParam<Race> {};

TEST_P(Races, EndInOrder) {
    const Race& race = GetParam();
    std::vector<Board> boards;
    for (const int number : race.boards)
        boards.push_back(board(number));
    LoadedLibrary lib(boards);
    ASSERT_TRUE(lib.ready()) << lib.failure();
    Faults faults;
    {
        Watchdog watchdog(race.name, std::chrono::seconds(60));
        race.run(lib, faults);
    }
    EXPECT_EQ(faults.texts(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Threads, Races, testing::ValuesIn(kRaces),
                         [](const testing::TestParamInfo<Race>& info) {
                             return std::string(info.param.name);
                         });

// Rounds per thread of the random mix; scripts/stress.sh asks for more.
int stressRounds() {
    const char* rounds = std::getenv("TESSIPORT_STRESS_ROUNDS");
    return rounds != nullptr && std::atoi(rounds) > 0 ? std::atoi(rounds) : 12;
}

// The codes a call may end with when other threads change, reconnect and close the same boards:
// the library's own and the COM-port transport's, never anything else (and never a crash).
const std::set<uint32_t> kExpectedCodes = {
    0,          TP_ERR_HANDLE,   TP_ERR_CHANNEL,     TP_ERR_CHECKSUM,  TP_ERR_REPLY_CODE,
    TP_ERR_REPLY_SHORT,          TP_ERR_INVALID_ARGUMENT,              kComTimeout,
    0x800B2008, 0x800B200C,      0x800B200E,
};

TEST(Threads, RandomCallsOnSharedBoards) {
    const std::vector<Board> boards = {
        {1, true, {}}, {2, true, {}}, {3, false, {}}, {4, false, {}}, {5, false, {}}};
    LoadedLibrary lib(boards);
    ASSERT_TRUE(lib.ready()) << lib.failure();
    const unsigned seed = unsigned(Clock::now().time_since_epoch().count());
    SCOPED_TRACE("seed " + std::to_string(seed));
    const int rounds = stressRounds();
    Faults faults;
    {
        Watchdog watchdog("random calls", std::chrono::seconds(30 + rounds * 4));
        runThreads(6, [&](int thread) {
            std::mt19937 random(seed + unsigned(thread));
            const uint32_t rates[] = {9600, 19200, 38400, 115200};
            for (int round = 0; round < rounds; ++round) {
                const Board& b = boards[random() % boards.size()];
                uint32_t handle = b.handle();
                uint32_t result = 0;
                std::string call;
                switch (random() % 9) {
                case 0:
                    call = "open";
                    handle = 0;
                    result = lib.openBoard(b, b.comPort ? kComOpen : kUntestedOpen, handle);
                    break;
                case 1:
                    call = "tested open";
                    handle = 0;
                    result = lib.openBoard(b, b.comPort ? kComOpen & ~INITMODE_NO_CONNECTION_TEST
                                                        : kTestedOpen,
                                           handle);
                    break;
                case 2:
                    call = "reconnect";
                    result = lib.openBoard(b, b.comPort ? kComOpen : kTestedOpen, handle);
                    break;
                case 3:
                    call = "close";
                    result = lib.close(&handle);
                    break;
                case 4:
                    call = "rate";
                    result = lib.setRate(handle, rates[random() % 4]);
                    break;
                case 5: {
                    call = "time-outs";
                    const uint32_t values[3] = {uint32_t(200 + random() % 300), 3000, 200};
                    result = lib.timeouts(handle, values, sizeof values);
                    break;
                }
                case 6: {
                    call = "read transfer parameters";
                    uint32_t block[5] = {};
                    result = lib.getTransfer(handle, block, sizeof block);
                    break;
                }
                default:
                    call = "command";
                    result = lib.askType(b, handle);
                    break;
                }
                faults.expect(kExpectedCodes.count(result) == 1,
                              call + " on " + hex(b.handle()) + " gave " + hex(result));
            }
        });
    }
    EXPECT_EQ(faults.texts(), std::vector<std::string>{});

    // Whatever the mix left open closes, and every board opens and answers again.
    for (const Board& b : boards) {
        for (uint32_t handle = b.handle(); handle != 0; handle = b.handle())
            if (lib.close(&handle) != 0)
                break;
        uint32_t handle = 0;
        const uint32_t mode = b.comPort ? kComOpen & ~INITMODE_NO_CONNECTION_TEST : kTestedOpen;
        EXPECT_EQ(lib.openBoard(b, mode, handle), 0u) << b.libraryName() << b.number;
        lib.patient(handle);
        EXPECT_EQ(lib.askType(b, handle), 0u) << b.libraryName() << b.number;
        EXPECT_EQ(lib.close(&handle), 0u);
    }
}

}  // namespace

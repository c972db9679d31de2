// The real library in this process, called from several threads at once the way a careless host
// would: closes during transactions and rate changes, opens of one board at once, closes and
// reopens under traffic on a COM port and on a grabber, grabber libraries loaded by several
// threads; then a bounded random mix of all calls. Run under ThreadSanitizer by scripts/tsan.sh
// and under AddressSanitizer in the sanitizer build; elsewhere it checks codes and answers.

#include <stdlib.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "host_process.h"
#include "platform/dynamic_library.h"
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
            bool started = false;
            for (int attempt = 0; attempt < 2 && !started; ++attempt) {
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
        if (library_.open(tessiport_test::kLibrary) != 0) {
            failure_ = library_.lastError();
            return;
        }
#define BIND(member, name) member = library_.function<decltype(member)>(#name)
        BIND(open, Open_Cam_Ext);
        BIND(close, Close_Cam);
        BIND(command, Control_Command);
        BIND(timeouts, Set_Timeouts);
        BIND(getTransfer, Get_Transfer_Parameters);
        BIND(setTransfer, Set_Transfer_Parameters);
        BIND(errors, Enable_Error_Messages);
#undef BIND
    }
    bool ready() const {
        return failure_.empty() && open && close && command && timeouts && getTransfer &&
               setTransfer && errors;
    }
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
    // A command time-out (1000 ms: what a loaded machine running sanitized cameras keeps).
    void patient(uint32_t handle, uint32_t timeoutMs = 1000) const {
        const uint32_t values[1] = {timeoutMs};
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
    decltype(&Enable_Error_Messages) errors = nullptr;

private:
    std::vector<std::unique_ptr<tools::CamsimProcess>> cameras_;
    tools::TempFolder data_;
    tools::TempFolder runtime_;
    platform::DynamicLibrary library_;
    std::string failure_;
};

// Runs `body`; a hang inside the library ends the test run with a message instead of blocking it.
void withinLimit(const std::string& what, std::chrono::seconds limit,
                 const std::function<void()>& body) {
    std::promise<void> done;
    std::thread watchdog([&, finished = done.get_future()] {
        if (finished.wait_for(limit) != std::future_status::ready) {
            std::fprintf(stderr, "hung: %s\n", what.c_str());
            std::abort();
        }
    });
    body();
    done.set_value();
    watchdog.join();
}

// What went wrong in a run, collected from every thread.
struct Faults {
    void expect(bool ok, const std::string& text) {
        std::lock_guard lock(mutex);
        if (!ok)
            texts.push_back(text);
    }
    std::mutex mutex;
    std::vector<std::string> texts;
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

// Closes a handle of `b` while `call` runs on it in another thread, `after` its start: the close
// waits for the call instead of freeing the channel under it, so it comes back no sooner than
// `atLeast` after the call began; then the handle is closed.
void closeDuring(const LoadedLibrary& lib, Faults& faults, const Board& b, uint32_t mode,
                 milliseconds after, milliseconds atLeast,
                 const std::function<void(uint32_t)>& call) {
    uint32_t handle = 0;
    faults.expect(lib.openBoard(b, mode, handle) == 0, "open " + b.libraryName());
    const Clock::time_point start = Clock::now();
    std::thread calling(call, handle);
    std::this_thread::sleep_for(after);
    uint32_t closing = handle;
    faults.expect(lib.close(&closing) == 0, "close during the call");
    faults.expect(Clock::now() - start >= atLeast, "the close did not wait");
    calling.join();
    faults.expect(lib.askType(b, handle) == TP_ERR_HANDLE, "handle still valid");
}

// `senders` threads ask `b`'s camera its type on `handle` until `driver` is done; each answer is
// one of `accepted`: every command runs whole on the channel it started on or finds the handle
// closed.
void askWhile(const LoadedLibrary& lib, Faults& faults, const Board& b, uint32_t handle,
              int senders, const std::set<uint32_t>& accepted, const std::function<void()>& driver) {
    std::atomic<bool> stop{false};
    std::thread driving([&] {
        driver();
        stop = true;
    });
    runThreads(senders, [&](int) {
        do {
            const uint32_t result = lib.askType(b, handle);
            faults.expect(accepted.count(result) == 1,
                          b.libraryName() + " command gave " + hex(result));
        } while (!stop);
    });
    driving.join();
}

// A transaction on a COM port waiting for a reply that never comes.
void closeDuringComTransaction(const LoadedLibrary& lib, Faults& faults) {
    closeDuring(lib, faults, board(1), kComOpen, milliseconds(150), milliseconds(590),
                [&](uint32_t handle) {
                    lib.patient(handle, 600);
                    const uint32_t result = lib.command(handle, kGetStatus, 5, nullptr, 0);
                    faults.expect(result == kComTimeout, "unanswered command gave " + hex(result));
                });
}

// A rate change on a grabber board waiting for the camera to switch, which takes 150 ms: the
// change's commands after the close began find the handle closed.
void closeDuringRateChange(const LoadedLibrary& lib, Faults& faults) {
    closeDuring(lib, faults, board(4), kUntestedOpen, milliseconds(60), milliseconds(150),
                [&](uint32_t handle) {
                    const uint32_t result = lib.setRate(handle, 115200);
                    faults.expect(result == 0 || result == TP_ERR_HANDLE,
                                  "rate change gave " + hex(result));
                });
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

// Commands from several threads while another closes and reopens the same board: each gets its
// own camera's whole answer while the board is open, on a COM port and on a grabber.
void commandsWhileReopening(const LoadedLibrary& lib, Faults& faults) {
    for (const int number : {2, 5}) {
        const Board& b = board(number);
        askWhile(lib, faults, b, b.handle(), 4, {0, TP_ERR_HANDLE}, [&] {
            for (int round = 0; round < 12; ++round) {
                uint32_t handle = 0;
                faults.expect(lib.openBoard(b, b.comPort ? kComOpen : kUntestedOpen, handle) == 0,
                              "reopen " + b.libraryName());
                lib.patient(handle);
                std::this_thread::sleep_for(milliseconds(5));
                faults.expect(lib.close(&handle) == 0, "close " + b.libraryName());
            }
        });
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

// Reconnects (the channel closed and opened again) while other threads send on the same handle.
void commandsDuringReconnects(const LoadedLibrary& lib, Faults& faults) {
    uint32_t handle = 0;
    faults.expect(lib.openBoard(board(8), kUntestedOpen, handle) == 0, "open board 8");
    askWhile(lib, faults, board(8), handle, 3, {0}, [&] {
        for (int round = 0; round < 3; ++round) {
            uint32_t value = handle;
            const uint32_t result = lib.openBoard(board(8), kTestedOpen, value);
            faults.expect(result == TP_ERR_CHANNEL && value == handle,
                          "reconnect gave " + hex(result) + " handle " + hex(value));
        }
    });
    faults.expect(lib.close(&handle) == 0, "close board 8");
}

// A host whose error callback calls in again on the board whose call reported the error: it asks
// the camera's type and closes the board. Neither may wait for the call it came from.
struct CallingBackHost {
    const LoadedLibrary* lib = nullptr;
    const Board* board = nullptr;
    uint32_t* handle = nullptr;
    bool called = false;
    uint32_t asked = 0, closed = 0;
};
CallingBackHost callingBack;

void TESSIPORT_CALL callBackIn(const char*) {
    CallingBackHost& host = callingBack;
    if (host.called || host.handle == nullptr)
        return;
    host.called = true;
    host.asked = host.lib->askType(*host.board, *host.handle);
    uint32_t value = *host.handle;
    host.closed = host.lib->close(&value);
}

// A COM-port command and a grabber command the camera does not answer, and a grabber open whose
// connection test fails: the calls end with their own codes, the calls from the callback are
// served, and the board opens and answers again.
void callsFromTheErrorCallback(const LoadedLibrary& lib, Faults& faults) {
    const uint8_t getInfo[5] = {0x11, 0x01, 0x05, 0x00, 0x00};
    const struct {
        int board;
        uint32_t mode;
        const uint8_t* command;  // none: the open is the call
        uint32_t result;
        uint32_t asked;
    } rows[] = {
        {1, kComOpen, kGetStatus, kComTimeout, 0},
        {8, kUntestedOpen, getInfo, TP_ERR_CHANNEL, 0},
        {8, kTestedOpen, nullptr, TP_ERR_CHANNEL, TP_ERR_HANDLE},
    };
    lib.errors(1 | 4, callBackIn);
    for (const auto& row : rows) {
        const Board& b = board(row.board);
        const std::string name = b.libraryName() + (row.command ? " command" : " open");
        uint32_t handle = 0;
        uint32_t result = 0;
        if (row.command == nullptr) {
            callingBack = {&lib, &b, &handle};
            result = lib.openBoard(b, row.mode, handle);
        } else {
            faults.expect(lib.openBoard(b, row.mode, handle) == 0, "open " + name);
            lib.patient(handle, 300);
            callingBack = {&lib, &b, &handle};
            result = lib.command(handle, row.command, 5, nullptr, 0);
        }
        faults.expect(result == row.result, name + " gave " + hex(result));
        faults.expect(callingBack.called, name + ": no callback");
        faults.expect(callingBack.asked == row.asked && callingBack.closed == 0,
                      name + ": from the callback, command " + hex(callingBack.asked) +
                          " close " + hex(callingBack.closed));
        callingBack = {};
        faults.expect(lib.askType(b, b.handle()) == TP_ERR_HANDLE, name + ": still open");
        handle = 0;
        faults.expect(lib.openBoard(b, b.comPort ? kComOpen : kUntestedOpen, handle) == 0 &&
                          lib.askType(b, handle) == 0 && lib.close(&handle) == 0,
                      name + ": the board does not open and answer again");
    }
    lib.errors(0, nullptr);
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
    {"CommandsWhileTheBoardIsReopened", {2, 5}, commandsWhileReopening},
    {"GrabberLibrariesLoadedByThreadsAtOnce", {3, 5, 6, 7}, grabberLibrariesLoadedAtOnce},
    {"CommandsDuringReconnects", {8}, commandsDuringReconnects},
    {"CallsFromTheErrorCallback", {1, 8}, callsFromTheErrorCallback},
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
    withinLimit(race.name, std::chrono::seconds(60), [&] { race.run(lib, faults); });
    EXPECT_EQ(faults.texts, std::vector<std::string>{});
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
    const auto tested = [](const Board& b) {
        return b.comPort ? kComOpen & ~INITMODE_NO_CONNECTION_TEST : kTestedOpen;
    };
    const char* const names[] = {"open", "tested open", "reconnect", "close", "rate",
                                 "time-outs", "read transfer parameters", "command", "command"};
    const auto call = [&](size_t which, const Board& b, uint32_t& handle, std::mt19937& random) {
        const uint32_t rates[] = {9600, 19200, 38400, 115200};
        const uint32_t values[3] = {uint32_t(200 + random() % 300), 3000, 200};
        uint32_t block[5] = {};
        switch (which) {
        case 0:
            handle = 0;
            return lib.openBoard(b, b.comPort ? kComOpen : kUntestedOpen, handle);
        case 1:
            handle = 0;
            return lib.openBoard(b, tested(b), handle);
        case 2: return lib.openBoard(b, b.comPort ? kComOpen : kTestedOpen, handle);
        case 3: return lib.close(&handle);
        case 4: return lib.setRate(handle, rates[random() % 4]);
        case 5: return lib.timeouts(handle, values, sizeof values);
        case 6: return lib.getTransfer(handle, block, sizeof block);
        default: return lib.askType(b, handle);
        }
    };
    Faults faults;
    withinLimit("random calls", std::chrono::seconds(30 + rounds * 4), [&] {
        runThreads(6, [&](int thread) {
            std::mt19937 random(seed + unsigned(thread));
            for (int round = 0; round < rounds; ++round) {
                const Board& b = boards[random() % boards.size()];
                const size_t which = random() % std::size(names);
                uint32_t handle = b.handle();
                const uint32_t result = call(which, b, handle, random);
                faults.expect(kExpectedCodes.count(result) == 1, std::string(names[which]) +
                                                                     " on " + hex(b.handle()) +
                                                                     " gave " + hex(result));
            }
        });
    });
    EXPECT_EQ(faults.texts, std::vector<std::string>{});

    // Whatever the mix left open closes, and every board opens and answers again.
    for (const Board& b : boards) {
        for (uint32_t handle = b.handle(); handle != 0; handle = b.handle())
            if (lib.close(&handle) != 0)
                break;
        uint32_t handle = 0;
        EXPECT_EQ(lib.openBoard(b, tested(b), handle), 0u) << b.libraryName() << b.number;
        lib.patient(handle);
        EXPECT_EQ(lib.askType(b, handle), 0u) << b.libraryName() << b.number;
        EXPECT_EQ(lib.close(&handle), 0u);
    }
}

}  // namespace

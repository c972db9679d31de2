// The Windows serial port through its seam: a scripted driver stands in for the Win32 comm calls
// and records them, so that what the port asks of the driver (settings, queues, time-outs,
// purges) is checked call by call. The driver itself keeps the time-out semantics; what the port
// must do is hand it the right values and pass on what its reads and writes report.

#include "platform/serial_port_win32.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "platform/com_port.h"
#include "protocol/com_transport.h"
#include "protocol/commands.h"
#include "../protocol/recording_log.h"
#include "../tessiport/test_support.h"

namespace {

using libtest::Bytes;
using libtest::telegram;
using platform::Win32SerialPort;
using Calls = std::vector<std::string>;

const HANDLE kPortHandle = reinterpret_cast<HANDLE>(0x4711);

class ScriptedComm : public platform::CommApi {
public:
    Calls calls;
    std::set<std::string> failing;  // names of calls that fail, leaving `failure`
    DWORD failure = ERROR_GEN_FAILURE;
    DCB driverSettings{};  // what GetCommState reports
    DCB applied{};         // what SetCommState got
    // Each read takes from the first arrival only: the end of an arrival is a pause of the
    // camera, in which the driver's time-out ends the read.
    std::deque<Bytes> arrivals;
    DWORD writeLimit = MAXDWORD;  // bytes a write moves before its time-out
    DWORD inQueue = 0;

    HANDLE createFile(const char* name) override {
        return record("CreateFileA", name) ? kPortHandle : INVALID_HANDLE_VALUE;
    }
    BOOL getCommState(HANDLE, DCB* settings) override {
        *settings = driverSettings;
        return record("GetCommState");
    }
    BOOL setCommState(HANDLE, DCB* settings) override {
        applied = *settings;
        return record("SetCommState");
    }
    BOOL setupComm(HANDLE, DWORD in, DWORD out) override { return record("SetupComm", in, out); }
    BOOL setCommTimeouts(HANDLE, COMMTIMEOUTS* t) override {
        return record("SetCommTimeouts", t->ReadIntervalTimeout, t->ReadTotalTimeoutMultiplier,
                      t->ReadTotalTimeoutConstant, t->WriteTotalTimeoutMultiplier,
                      t->WriteTotalTimeoutConstant);
    }
    BOOL purgeComm(HANDLE, DWORD flags) override { return record("PurgeComm", flags); }
    BOOL clearCommError(HANDLE, DWORD* errors, COMSTAT* status) override {
        *errors = 0;
        *status = {};
        status->cbInQue = inQueue;
        return record("ClearCommError");
    }
    BOOL readFile(HANDLE, void* buffer, DWORD count, DWORD* received) override {
        *received = 0;
        if (!record("ReadFile", count))
            return FALSE;
        if (arrivals.empty())
            return TRUE;
        Bytes& front = arrivals.front();
        *received = std::min<DWORD>(count, DWORD(front.size()));
        std::copy_n(front.begin(), *received, static_cast<uint8_t*>(buffer));
        front.erase(front.begin(), front.begin() + *received);
        if (front.empty())
            arrivals.pop_front();
        return TRUE;
    }
    BOOL writeFile(HANDLE, const void*, DWORD count, DWORD* put) override {
        *put = 0;
        if (!record("WriteFile", count))
            return FALSE;
        *put = std::min(count, writeLimit);
        return TRUE;
    }
    BOOL closeHandle(HANDLE port) override {
        return record(port == kPortHandle ? "CloseHandle" : "CloseHandle of another handle");
    }
    DWORD lastError() override { return failure; }

private:
    template <typename... Values>
    bool record(const std::string& name, const Values&... values) {
        std::string call = name;
        ((call += " " + std::string(text(values))), ...);
        calls.push_back(call);
        return failing.count(name) == 0;
    }
    static std::string text(const char* value) { return value; }
    static std::string text(DWORD value) { return std::to_string(value); }
};

const std::string kAllPurges = std::to_string(PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT |
                                              PURGE_TXCLEAR);

TEST(Win32SerialPort, ConfigureSetsTheLineAndKeepsTheDriverSettingsItDoesNotOwn) {
    ScriptedComm comm;
    std::memset(&comm.driverSettings, 0xFF, sizeof(DCB));  // every flag set by the driver
    Win32SerialPort port(comm);
    ASSERT_EQ(port.open("\\\\.\\COM3"), 0);
    ASSERT_EQ(port.configure(76800), 0);

    const DCB& l = comm.applied;
    EXPECT_EQ((std::vector<unsigned>{l.BaudRate, l.ByteSize, l.Parity, l.StopBits, l.fBinary,
                                     l.fParity, l.fOutxCtsFlow, l.fOutxDsrFlow, l.fDtrControl,
                                     l.fDsrSensitivity, l.fTXContinueOnXoff, l.fOutX, l.fInX,
                                     l.fErrorChar, l.fRtsControl, l.fAbortOnError}),
              (std::vector<unsigned>{76800, 8, NOPARITY, ONESTOPBIT, 1, 0, 0, 0, DTR_CONTROL_ENABLE,
                                     0, 0, 0, 0, 0, RTS_CONTROL_ENABLE, 0}));
    EXPECT_EQ(l.fNull, 1u) << "left as the driver has it";
    EXPECT_EQ(l.XonLim, 0xFFFF);

    port.close();  // the calls of an open and a configure are in the transport's test below
    EXPECT_EQ(comm.calls.back(), "CloseHandle");
}

// Every call of an open, a configure, a write, a read, a queue query and a purge, in order.
const Calls kAllCalls = {"CreateFileA \\\\.\\COM2", "GetCommState", "SetCommState",
                         "SetupComm 1024 1024", "SetCommTimeouts 0 0 0 0 0", "WriteFile 5",
                         "ReadFile 4", "ClearCommError", "PurgeComm " + kAllPurges};

struct FailureCase {
    const char* name;
    const char* failingCall;
    DWORD error;
    int expected;
    size_t callsMade;  // the first calls of kAllCalls, the failing one the last of them
};

class Win32SerialPortFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(Win32SerialPortFailure, TheFirstFailingCallEndsTheOperationWithItsError) {
    const FailureCase& c = GetParam();
    ScriptedComm comm;
    comm.failing = {c.failingCall};
    comm.failure = c.error;
    Win32SerialPort port(comm);
    uint8_t buffer[8] = {};
    size_t moved = 99;
    int result = port.open("\\\\.\\COM2");
    for (const auto& next : std::vector<std::function<int()>>{
             [&] { return port.configure(57600); }, [&] { return port.write(buffer, 5, moved); },
             [&] { return port.read(buffer, 4, moved); }, [&] { return port.bytesWaiting(moved); },
             [&] { return port.purge(); }})
        if (result == 0)
            result = next();
    EXPECT_EQ(result, c.expected);
    EXPECT_EQ(comm.calls, Calls(kAllCalls.begin(), kAllCalls.begin() + long(c.callsMade)));
    EXPECT_EQ(port.isOpen(), std::string(c.failingCall) != "CreateFileA");
}

INSTANTIATE_TEST_SUITE_P(
    Calls, Win32SerialPortFailure,
    ::testing::Values(
        FailureCase{"MissingPort", "CreateFileA", ERROR_FILE_NOT_FOUND, ENOENT, 1},
        FailureCase{"PortOfAnotherProgram", "CreateFileA", ERROR_ACCESS_DENIED, EBUSY, 1},
        FailureCase{"SettingsUnreadable", "GetCommState", ERROR_GEN_FAILURE, EIO, 2},
        FailureCase{"SettingsRefused", "SetCommState", ERROR_INVALID_PARAMETER, EIO, 3},
        FailureCase{"QueuesRefused", "SetupComm", ERROR_GEN_FAILURE, EIO, 4},
        FailureCase{"WriteFails", "WriteFile", ERROR_GEN_FAILURE, EIO, 6},
        FailureCase{"ReadFails", "ReadFile", ERROR_OPERATION_ABORTED, EIO, 7},
        FailureCase{"QueueUnreadable", "ClearCommError", ERROR_GEN_FAILURE, EIO, 8},
        FailureCase{"PurgeFails", "PurgeComm", ERROR_GEN_FAILURE, EIO, 9}),
    [](const auto& info) { return std::string(info.param.name); });

// What the driver moved before its time-out is passed on; a closed port calls no driver at all.
TEST(Win32SerialPort, ReadsAndWritesPassOnWhatTheDriverMovedAndAClosedPortCallsNothing) {
    ScriptedComm comm;
    comm.arrivals = {{1, 2, 3}};
    comm.writeLimit = 2;
    comm.inQueue = 5;
    Win32SerialPort port(comm);
    uint8_t buffer[8] = {};
    size_t moved = 7;
    EXPECT_EQ(port.read(buffer, 4, moved), EBADF);
    EXPECT_EQ(moved, 0u);
    for (int refused : {port.configure(57600), port.write(buffer, 4, moved),
                        port.bytesWaiting(moved), port.purge()})
        EXPECT_EQ(refused, EBADF);
    port.setTimeouts({1, 2, 3, 4, 5});
    port.close();
    EXPECT_TRUE(comm.calls.empty());

    ASSERT_EQ(port.open("\\\\.\\COM1"), 0);
    EXPECT_EQ(port.read(buffer, 8, moved), 0);  // three came, then the total time-out
    EXPECT_EQ(moved, 3u);
    EXPECT_EQ(buffer[2], 3);
    EXPECT_EQ(port.read(buffer, 8, moved), 0);  // nothing came
    EXPECT_EQ(moved, 0u);
    EXPECT_EQ(port.write(buffer, 5, moved), 0);
    EXPECT_EQ(moved, 2u);
    EXPECT_EQ(port.bytesWaiting(moved), 0);
    EXPECT_EQ(moved, 5u);
    EXPECT_EQ(port.read(buffer, 0, moved), 0);  // nothing asked, nothing called
    EXPECT_EQ(comm.calls.back(), "ClearCommError");
    EXPECT_EQ(platform::comPortPath(17), "\\\\.\\COM17");
}

// The COM-port transport over the Windows port: the open's calls in their order, and the
// time-outs of a transaction whose reply follows a debug text.
TEST(Win32SerialPort, TheTransportOpensAndRunsATransactionWithTheDriversTimeOuts) {
    ScriptedComm driver;
    testing_support::RecordingLog log;
    platform::VirtualClock clock;
    protocol::ComTransport transport(protocol::Variant::Programmer, log, clock,
                                     std::make_unique<Win32SerialPort>(driver));
    ASSERT_EQ(transport.openByIndex(0, -1), protocol::kOk);
    EXPECT_EQ(Calls(driver.calls.begin(), driver.calls.begin() + 7),
              (Calls{"CreateFileA \\\\.\\COM1", "SetCommTimeouts 30 200 500 200 500",
                     "GetCommState", "SetCommState", "SetupComm 1024 1024",
                     "SetCommTimeouts 30 200 500 200 500", "PurgeComm " + kAllPurges}));
    EXPECT_EQ(driver.applied.BaudRate, 57600u);

    driver.calls.clear();
    const Bytes debug = telegram(0x0019, {'h', 'i', '\n'});
    const Bytes reply = telegram(protocol::cmd::GET_CAMERA_TYPE | 0x0080, Bytes(18, 0));
    driver.arrivals = {{debug.begin(), debug.begin() + 4}, {debug.begin() + 4, debug.end()},
                       {reply.begin(), reply.begin() + 4}, {reply.begin() + 4, reply.end()}};
    const Bytes command = telegram(protocol::cmd::GET_CAMERA_TYPE);
    uint8_t answer[32] = {};
    EXPECT_EQ(transport.transaction(command.data(), uint32_t(command.size() - 1), answer,
                                    sizeof answer, 1000),
              protocol::kOk);
    EXPECT_EQ(driver.calls, (Calls{"ClearCommError", "SetCommTimeouts 30 20 1000 20 1000",
                                   "WriteFile 5", "ReadFile 4", "SetCommTimeouts 30 20 100 20 1000",
                                   "ReadFile 4", "ReadFile 4", "ReadFile 19"}));
    // The caller gets the reply without its checksum.
    EXPECT_EQ(Bytes(answer, answer + reply.size() - 1), Bytes(reply.begin(), reply.end() - 1));
    EXPECT_TRUE(log.has("Remove Debug command 0x19, size 8"));
}

}  // namespace

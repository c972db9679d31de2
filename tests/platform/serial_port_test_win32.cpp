// The Windows serial port through its seam: a scripted driver stands in for the Win32 comm calls
// and records them, so that what the port asks of the driver (settings, queues, time-outs,
// purges) is checked call by call. The driver itself keeps the time-out semantics; what the port
// must do is hand it the right values and pass on what its reads and writes report.

#include "platform/serial_port_win32.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <deque>
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

const HANDLE kPortHandle = reinterpret_cast<HANDLE>(0x4711);

class ScriptedComm : public platform::CommApi {
public:
    std::vector<std::string> calls;
    // Names of calls that fail, and the error they leave.
    std::set<std::string> failing;
    DWORD failure = ERROR_GEN_FAILURE;
    DCB driverSettings{};  // what GetCommState reports
    DCB applied{};         // what SetCommState got
    COMMTIMEOUTS timeouts{};
    // Each read takes from the first arrival only: the end of an arrival is a pause of the
    // camera, in which the driver's time-out ends the read.
    std::deque<Bytes> arrivals;
    Bytes written;
    DWORD writeLimit = MAXDWORD;  // bytes a write moves before its time-out
    DWORD inQueue = 0;

    HANDLE createFile(const char* name) override {
        return record("CreateFileA " + std::string(name)) ? kPortHandle : INVALID_HANDLE_VALUE;
    }
    BOOL getCommState(HANDLE, DCB* settings) override {
        *settings = driverSettings;
        return record("GetCommState");
    }
    BOOL setCommState(HANDLE, DCB* settings) override {
        applied = *settings;
        return record("SetCommState");
    }
    BOOL setupComm(HANDLE, DWORD in, DWORD out) override {
        return record("SetupComm " + std::to_string(in) + " " + std::to_string(out));
    }
    BOOL setCommTimeouts(HANDLE, COMMTIMEOUTS* t) override {
        timeouts = *t;
        return record("SetCommTimeouts " + std::to_string(t->ReadIntervalTimeout) + " " +
                      std::to_string(t->ReadTotalTimeoutMultiplier) + " " +
                      std::to_string(t->ReadTotalTimeoutConstant) + " " +
                      std::to_string(t->WriteTotalTimeoutMultiplier) + " " +
                      std::to_string(t->WriteTotalTimeoutConstant));
    }
    BOOL purgeComm(HANDLE, DWORD flags) override {
        return record("PurgeComm " + std::to_string(flags));
    }
    BOOL clearCommError(HANDLE, DWORD* errors, COMSTAT* status) override {
        *errors = 0;
        *status = {};
        status->cbInQue = inQueue;
        return record("ClearCommError");
    }
    BOOL readFile(HANDLE, void* buffer, DWORD count, DWORD* received) override {
        *received = 0;
        if (!record("ReadFile " + std::to_string(count)))
            return FALSE;
        if (arrivals.empty())
            return TRUE;
        Bytes& front = arrivals.front();
        const DWORD n = std::min<DWORD>(count, DWORD(front.size()));
        std::copy_n(front.begin(), n, static_cast<uint8_t*>(buffer));
        front.erase(front.begin(), front.begin() + n);
        if (front.empty())
            arrivals.pop_front();
        *received = n;
        return TRUE;
    }
    BOOL writeFile(HANDLE, const void* data, DWORD count, DWORD* put) override {
        *put = 0;
        if (!record("WriteFile " + std::to_string(count)))
            return FALSE;
        *put = std::min(count, writeLimit);
        const auto* bytes = static_cast<const uint8_t*>(data);
        written.insert(written.end(), bytes, bytes + *put);
        return TRUE;
    }
    BOOL closeHandle(HANDLE port) override {
        return record(port == kPortHandle ? "CloseHandle" : "CloseHandle of another handle");
    }
    DWORD lastError() override { return failure; }

private:
    bool record(const std::string& call) {
        calls.push_back(call);
        return failing.count(call.substr(0, call.find(' '))) == 0;
    }
};

const std::string kAllPurges = std::to_string(PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT |
                                              PURGE_TXCLEAR);

TEST(Win32SerialPort, ComPortNamesAreTheDeviceNamespaceNames) {
    EXPECT_EQ(platform::comPortPath(1), "\\\\.\\COM1");
    EXPECT_EQ(platform::comPortPath(17), "\\\\.\\COM17");
}

TEST(Win32SerialPort, ConfigureKeepsTheDriverSettingsItDoesNotOwnAndSetsTheLine) {
    ScriptedComm comm;
    comm.driverSettings.DCBlength = sizeof(DCB);
    comm.driverSettings.fNull = TRUE;  // left as the driver has it
    comm.driverSettings.fOutxCtsFlow = TRUE;
    comm.driverSettings.fInX = TRUE;
    comm.driverSettings.XonLim = 77;
    comm.driverSettings.fAbortOnError = TRUE;
    Win32SerialPort port(comm);
    ASSERT_EQ(port.open("\\\\.\\COM3"), 0);
    port.setTimeouts({30, 200, 500, 200, 500});
    ASSERT_EQ(port.configure(76800), 0);

    const DCB& line = comm.applied;
    EXPECT_EQ(line.BaudRate, 76800u);
    EXPECT_EQ(line.ByteSize, 8);
    EXPECT_EQ(line.Parity, NOPARITY);
    EXPECT_EQ(line.StopBits, ONESTOPBIT);
    EXPECT_EQ(line.fBinary, 1u);
    EXPECT_EQ(line.fParity, 0u);
    EXPECT_EQ(line.fOutxCtsFlow, 0u);
    EXPECT_EQ(line.fOutxDsrFlow, 0u);
    EXPECT_EQ(line.fDtrControl, unsigned(DTR_CONTROL_ENABLE));
    EXPECT_EQ(line.fDsrSensitivity, 0u);
    EXPECT_EQ(line.fTXContinueOnXoff, 0u);
    EXPECT_EQ(line.fOutX, 0u);
    EXPECT_EQ(line.fInX, 0u);
    EXPECT_EQ(line.fErrorChar, 0u);
    EXPECT_EQ(line.fRtsControl, unsigned(RTS_CONTROL_ENABLE));
    EXPECT_EQ(line.fAbortOnError, 0u);
    EXPECT_EQ(line.fNull, 1u);
    EXPECT_EQ(line.XonLim, 77);

    port.close();
    EXPECT_EQ(comm.calls, (std::vector<std::string>{
                              "CreateFileA \\\\.\\COM3", "SetCommTimeouts 30 200 500 200 500",
                              "GetCommState", "SetCommState", "SetupComm 1024 1024",
                              "SetCommTimeouts 30 200 500 200 500", "CloseHandle"}));
}

// Every call of an open, a configure, a write, a read, a queue query and a purge, in order.
const std::vector<std::string> kAllCalls = {
    "CreateFileA \\\\.\\COM2", "GetCommState", "SetCommState", "SetupComm 1024 1024",
    "SetCommTimeouts 0 0 0 0 0", "WriteFile 5", "ReadFile 4", "ClearCommError",
    "PurgeComm " + kAllPurges};

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
    int result = port.open("\\\\.\\COM2");
    uint8_t buffer[8] = {};
    size_t moved = 99;
    if (result == 0)
        result = port.configure(57600);
    if (result == 0)
        result = port.write(buffer, 5, moved);
    if (result == 0)
        result = port.read(buffer, 4, moved);
    if (result == 0)
        result = port.bytesWaiting(moved);
    if (result == 0)
        result = port.purge();
    EXPECT_EQ(result, c.expected);
    EXPECT_EQ(comm.calls,
              std::vector<std::string>(kAllCalls.begin(), kAllCalls.begin() + long(c.callsMade)));
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

TEST(Win32SerialPort, ReadsAndWritesPassOnWhatTheDriverMovedBeforeItsTimeOut) {
    ScriptedComm comm;
    comm.arrivals = {{1, 2, 3}};
    comm.writeLimit = 2;
    comm.inQueue = 5;
    Win32SerialPort port(comm);
    ASSERT_EQ(port.open("\\\\.\\COM1"), 0);
    uint8_t buffer[8] = {};
    size_t moved = 0;
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
}

TEST(Win32SerialPort, AClosedPortRefusesEveryOperationWithoutCallingTheDriver) {
    ScriptedComm comm;
    Win32SerialPort port(comm);
    uint8_t buffer[4] = {};
    size_t moved = 7;
    EXPECT_EQ(port.configure(57600), EBADF);
    EXPECT_EQ(port.read(buffer, 4, moved), EBADF);
    EXPECT_EQ(moved, 0u);
    EXPECT_EQ(port.write(buffer, 4, moved), EBADF);
    EXPECT_EQ(port.bytesWaiting(moved), EBADF);
    EXPECT_EQ(port.purge(), EBADF);
    port.setTimeouts({1, 2, 3, 4, 5});
    port.close();
    EXPECT_TRUE(comm.calls.empty());
}

// The COM-port transport over the Windows port: the open's calls in their order, and the
// time-outs of a transaction whose reply follows a debug text.
TEST(Win32SerialPort, TheTransportOpensAndRunsATransactionWithTheDriversTimeOuts) {
    auto comm = std::make_unique<ScriptedComm>();
    ScriptedComm& driver = *comm;
    testing_support::RecordingLog log;
    platform::VirtualClock clock;
    protocol::ComTransport transport(protocol::Variant::Programmer, log, clock,
                                     std::make_unique<Win32SerialPort>(driver));
    ASSERT_EQ(transport.openByIndex(0, -1), protocol::kOk);
    const std::vector<std::string> openCalls(driver.calls.begin(), driver.calls.begin() + 7);
    EXPECT_EQ(openCalls, (std::vector<std::string>{
                             "CreateFileA \\\\.\\COM1", "SetCommTimeouts 30 200 500 200 500",
                             "GetCommState", "SetCommState", "SetupComm 1024 1024",
                             "SetCommTimeouts 30 200 500 200 500", "PurgeComm " + kAllPurges}));
    EXPECT_EQ(driver.applied.BaudRate, 57600u);

    driver.calls.clear();
    const Bytes debug = telegram(0x0019, {'h', 'i', '\n'});
    const Bytes reply = telegram(protocol::cmd::GET_CAMERA_TYPE | 0x0080, Bytes(18, 0));
    driver.arrivals = {{debug.begin(), debug.begin() + 4},
                       {debug.begin() + 4, debug.end()},
                       {reply.begin(), reply.begin() + 4},
                       {reply.begin() + 4, reply.end()}};
    const Bytes command = telegram(protocol::cmd::GET_CAMERA_TYPE);
    uint8_t answer[32] = {};
    EXPECT_EQ(transport.transaction(command.data(), uint32_t(command.size() - 1), answer,
                                    sizeof answer, 1000),
              protocol::kOk);
    EXPECT_EQ(driver.calls, (std::vector<std::string>{
                                "ClearCommError", "SetCommTimeouts 30 20 1000 20 1000",
                                "WriteFile 5", "ReadFile 4", "SetCommTimeouts 30 20 100 20 1000",
                                "ReadFile 4", "ReadFile 4", "ReadFile 19"}));
    // The caller gets the reply without its checksum.
    EXPECT_EQ(Bytes(answer, answer + reply.size() - 1), Bytes(reply.begin(), reply.end() - 1));
    EXPECT_TRUE(log.has("Remove Debug command 0x19, size 8"));
}

}  // namespace

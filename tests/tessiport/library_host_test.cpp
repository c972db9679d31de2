// The real libtessiport.so in a plain C host: its exports, open and close, command transactions
// on camsim, the refusals, and the shared block across processes.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <sstream>

#include "host_process.h"
#include "test_support.h"
#include "tools/camsim_process.h"
#include "tools/temp_folder.h"

namespace {

using namespace tessiport_test;
using testing::ElementsAreArray;
using testing::HasSubstr;
using testing::Not;

const std::string kCamsim = KF_BINARY_DIR "/bin/camsim";
// GET_CAMERA_TYPE as a host passes it: no checksum byte filled in.
const std::string kGetType = "cmd:5:23:1001050000";
// camsim's reply without its checksum: code 0x0190, length 24, type 0x0400, serial 1234.
const std::string kTypeReply = "cmd 0x00000000 9001180000040000d20400000000000000000000000000";

class LibraryHost : public testing::Test {
protected:
    Environment environment() const {
        return {{"TESSIPORT_INSTANCE", instance},
                {"XDG_RUNTIME_DIR", runtime.path()},
                {"QEL_DATA_DIR", data.path()},
                {"TESSIPORT_SYSTEM_DIR", data.path()},
                {"QEL_COM1", "/nonexistent/port"}};
    }
    std::string logText() const { return libtest::readText(data.path("tessiport.log")); }
    std::string block() const { return blockPath(runtime.path(), instance); }
    tools::TempFolder data;
    tools::TempFolder runtime;
    const std::string instance = uniqueInstance();
};

TEST(Exports, ExactlyTheInterfaceNamesLeaveTheLibrary) {
    const std::set<std::string> expected =
        libtest::versionScriptNames(KF_SOURCE_DIR "/tessiport/exports.map");
    EXPECT_EQ(expected.size(), 31u);
    EXPECT_EQ(expected.count("Register_User_Interface"), 1u);
    EXPECT_EQ(libtest::exportedNames(kLibrary), expected);
}

TEST_F(LibraryHost, RefusalsBeforeAnyChannelIsTouched) {
    const std::string name100(100, 'x');
    const struct {
        std::vector<std::string> steps;
        std::vector<std::string> lines;
    } rows[] = {
        // Open_Cam_Ext's argument checks leave the caller's handle value as it was.
        {{"handle:777", "open:8000"},
         {"cb 0x0777 ERROR Open_Cam_Ext: QEL_KM4_CL_ONLY_SERIAL_INIT flag must be set in initmode",
          "open 0xa0332001 0x777"}},
        {{"handle:777", "opencam:3000"},
         {"cb 0x0777 ERROR Open_Cam_Ext: KM4_OpenStruct must be valid", "open 0xa0332001 0x777"}},
        {{"open:3000:"},
         {"cb 0x0001 ERROR Open_Cam_Ext: stringlength of cl_ser_file_name in KM4_OpenStruct",
          "open 0xa0332001 0x0"}},
        {{"open:3000:" + name100},
         {"cb 0x0001 ERROR Open_Cam_Ext: stringlength of cl_ser_file_name in KM4_OpenStruct",
          "open 0xa0332001 0x0"}},
        // A COM port that cannot be opened frees the entry: the handle value is 0 again.
        {{"open:b101:comport1"},
         {"cb 0x0001 ERROR Error open Comport", "",
          "cb 0x0101 ERROR Open_Cam_Ext: Cannot open comport1", "open 0x80332006 0x0"}},
        // Control_Command checks its arguments before it looks for the handle.
        {{"cmd:4:0:1001050000"},
         {"cb 0x0000 ERROR Control_Command: wrongvalue size_in 4", "cmd 0xa0332001"}},
        {{"cmd:512:0:1001050000"},
         {"cb 0x0000 ERROR Control_Command: wrongvalue size_in 512", "cmd 0xa0332001"}},
        {{"cmd:5:0:0000050000"},
         {"cb 0x0000 ERROR Control_Command: wrongvalue command 0", "cmd 0xa0332001"}},
        {{"cmd:5:0:1001060000"},
         {"cb 0x0000 ERROR Control_Command: wrongvalue command size 6", "cmd 0xa0332001"}},
        {{"handle:345", "cmd:5:4:1001050000"},
         {"cb 0x0345 ERROR Control_Command: HANDLE 0x345 not valid", "cmd 0x80332006 eeeeeeee"}},
        {{"handle:345", "close", "close"},
         {"cb 0x0345 ERROR Close_Cam: HANDLE 0x345 not valid", "close 0x80332006 0x0",
          "close 0x00000000 0x0"}},
        {{"handle:345", "transfer"},
         {"cb 0x0345 ERROR Get_Transfer_Parameters: HANDLE 0x345 not valid",
          "cb 0x0345 ERROR Set_Transfer_Parameters: HANDLE 0x345 not valid",
          "transfer 0x80332006 0x80332006"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.steps.back());
        std::vector<std::string> steps = {"errors:5"};
        steps.insert(steps.end(), row.steps.begin(), row.steps.end());
        std::vector<std::string> expected = {"cb Errormessages will appear"};
        expected.insert(expected.end(), row.lines.begin(), row.lines.end());
        const HostRun run = runHost(steps, environment());
        EXPECT_EQ(run.status, 0);
        EXPECT_THAT(run.lines, ElementsAreArray(expected));
    }
}

TEST_F(LibraryHost, ImageFunctionsAreRefusedAndTheFixedAnswersGiven) {
    const HostRun run =
        runHost({"log:3:" + data.path("tessiport.log"), "handle:104", "image"}, environment());
    std::string expected = "image";
    for (int i = 0; i < 12; ++i)
        expected += " 0xa0332002";
    EXPECT_EQ(run.lines, (std::vector<std::string>{
                             "log 0x00000000", expected + " fixed 0x0 generation 1 pending 0"}));
    const std::string log = logText();
    for (const char* text :
         {"Get_Image_Queued", "Set_Image_Buffer", "Cancel_Images", "Set_Image_Parameters",
          "Set_buffer_managment", "Allocate_Framebuffer", "Free_Framebuffer", "Start_Acquire",
          "Stop_Acquire", "Wait_for_image", "Unblock_image_buffer", "Get_image_buffer_adr"}) {
        EXPECT_THAT(log, HasSubstr(std::string("\r\n0x0104 ERROR ") + text +
                                   ": Function not valid in serial Interface\r\n"));
    }
}

// A board behind libclsersim, the simulated frame grabber, on camsim's Camera Link socket, or a
// COM-port board (comport1) on the same camsim's pty.
class GrabberBoard : public LibraryHost {
protected:
    bool startCamera(std::vector<std::string> options = {}) {
        options.insert(options.begin(), {"--camlink-port", "0"});
        return camsim.start(kCamsim, options) && !camsim.camlinkAddress().empty();
    }
    // The camera switched off and on: a new camsim on the same Camera Link socket.
    bool restartCamera(std::vector<std::string> options) {
        const std::string address = camsim.camlinkAddress();
        camsim.stop();
        options.insert(options.begin(), {"--camlink-port", address.substr(address.rfind(':') + 1)});
        return camsim.start(kCamsim, options) && camsim.camlinkAddress() == address;
    }
    Environment environment() const {
        Environment values = LibraryHost::environment();
        values["CLSERSIM_PORT0"] = camsim.camlinkAddress();
        values["CLSERSIM_PORT2"] = camsim.camlinkAddress();
        values["QEL_COM1"] = camsim.portPath();
        return values;
    }
    // Each expected text must appear in the log, in this order.
    void expectLogInOrder(const std::vector<std::string>& texts) const {
        const std::string log = logText();
        size_t at = 0;
        for (const std::string& text : texts) {
            const size_t found = log.find(text, at);
            EXPECT_NE(found, std::string::npos) << "missing after offset " << at << ": " << text;
            if (found != std::string::npos)
                at = found + text.size();
        }
    }
    std::string logStep(uint32_t bits = 0x20043) const {
        char text[16];
        std::snprintf(text, sizeof text, "%x", bits);
        return std::string("log:") + text + ":" + data.path("tessiport.log");
    }
    tools::CamsimProcess camsim;
};

// Runs of the host on one board, each on a camera started with the row's options. Every row's
// output and, in order, the log texts it leaves are checked.
TEST_F(GrabberBoard, TransactionsRatesFailuresAndLibraryVariants) {
    const struct {
        const char* name;
        std::vector<std::string> camera;  // camsim's options
        std::vector<std::string> steps;
        std::vector<std::string> lines;
        std::vector<std::string> log;
        Environment extra = {};
    } rows[] = {
        {"COM port: transactions, a shared open, close",
         {},
         {"open:b101:comport1", kGetType, "cmd:5:6:1001050000", "error",
          // A second open of the board shares the entry; the first close only counts down.
          "handle:0", "open:b101:comport1", "close", "handle:101", kGetType, "close", kGetType,
          // With the connection test: configuration and revisions read over the port.
          "open:3101:comport1"},
         {"open 0x00000000 0x101", kTypeReply,
          // The checksum test allows replies up to capacity 9 + 1 bytes.
          "cmd 0x80332008 eeeeeeeeeeee", "error 0x00000000", "open 0x00000000 0x101",
          "close 0x00000000 0x0", kTypeReply, "close 0x00000000 0x0",
          "cmd 0x80332006 " + std::string(46, 'e'), "open 0x00000000 0x101"},
         {}},
        {"transactions, error replies and command 0x011A",
         {"--fault", "error:0x0111:0x80001020"},
         {logStep(), "open:b000:clsersim", kGetType, "cmd:5:9:1101050000", "error", kGetType,
          "error",
          // 0x011A goes out as given, its wrong last byte included: the camera refuses its
          // checksum.
          "cmd:7:9:1a010500429998", "close", kGetType},
         {"log 0x00000000", "open 0x00000000 0x100", kTypeReply,
          "cmd 0x80001020 d101090020100080ee", "error 0x80001020", kTypeReply, "error 0x00000000",
          "cmd 0x80001002 da01090002100080ee", "close 0x00000000 0x0",
          "cmd 0x80332006 " + std::string(46, 'e')},
         {"0x0001 Open_Cam_Ext(b000,0,", "0x0100 Open_Cam_Ext: call pclSerialInit",
          "0x0100 Open_Cam_Ext: init without connection test",
          "0x0100 Control_Command: start= 0x0110 serialRef ", "0x0100 Command 0x0110 0x0005 0x16",
          "0x0100 Control_Command: serialFlush called",
          "0x0100 Control_Command: bytes done 24 0x0018", "0x0100 return  0x0190 0x0018",
          "0x0100 Control_Command: Control_command end",
          "0x0100 Command 0x011a 0x0007 0x42 0x99 0x98", "0x0100 Close_Cam(100)",
          "0x0100 Close_Cam: call pclSerialClose()", "0x0100 Close_Cam: call FreeLibrary()",
          "0x0000 Close_Cam done succesfully"}},
        // The connection-tested open finds the camera's rate; Set_Transfer_Parameters switches
        // camera and grabber. Reading the configuration replaces Transmit whole, the grabber
        // mask bits included.
        {"the connection test finds the rate, a switch changes it",
         {"--cl-baud", "115200"},
         {logStep(0x3), "open:3000:clsersim", "params", "rate:57600", "rate:38400", kGetType,
          "params", "close"},
         {"log 0x00000000", "open 0x00000000 0x100",
          "params 0x00000000 115200 85000000 0x0 0x1 0x0", "rate 0xa0332001", "rate 0x00000000",
          kTypeReply, "params 0x00000000 38400 85000000 0x0 0x1 0x0", "close 0x00000000 0x0"},
         {"scan_camera_baudrate: start with 9600baud", "scan_camera_baudrate: test next 19200baud",
          "scan_camera_baudrate: test next 38400baud",
          "scan_camera_baudrate: test next 115200baud", "scan_camera: baudrate set to 115200",
          "ERROR set_baudrate: selected baudrate not valid"}},
        // Without the connection test each switch asks the camera at the grabber's rate before
        // it, which a camera at 19200 does not answer: only the grabber moves, and 9600 is asked
        // although the entry never left it. The entry's rate follows the last whole reply, so
        // once a reply came through at 19200 there is nothing left to change.
        {"an unconfirmed switch moves only the grabber",
         {"--cl-baud", "19200"},
         {"open:b000:clsersim", "rate:115200", "rate:9600", "rate:19200", kGetType, "rate:19200",
          "close"},
         {"open 0x00000000 0x100", "rate 0x80332007", "rate 0x80332007", "rate 0x80332007",
          kTypeReply, "rate 0x00000000", "close 0x00000000 0x0"},
         {}},
        // The channel's failure leaves the board open for the next command.
        {"failures of the channel and of the reply",
         {"--fault", "no-reply:0x0110:1", "--fault", "wrong-code:0x3216", "--fault",
          "bad-checksum:0x3416", "--fault", "short-body:0x0111"},
         {"errors:5", "open:b000:clsersim", "timeouts:4:100,0,0", kGetType, kGetType,
          "cmd:5:9:1632050000", "cmd:5:12:1634050000", "cmd:5:20:1101050000"},
         {"cb Errormessages will appear", "open 0x00000000 0x100", "timeouts 0x00000000",
          "cb 0x0100 ERROR Control_Command: SerialRead() returns -10004",
          "cmd 0x80332007 " + std::string(46, 'e'), kTypeReply,
          "cb 0x0100 ERROR Control_Command: wrong command return 0x3396 != 0x3296",
          "cmd 0x8033200c 9633090080250000ee", "cb 0x0001 ERROR test_checksum size error",
          "cmd 0x80332008 " + std::string(24, 'e'),
          "cb 0x0100 ERROR Control_Command: SerialRead() returns -10004",
          "cmd 0x80332007 " + std::string(40, 'e')},
         {}},
        {"no flush function: reads before each command",
         {},
         {logStep(0x30043), "open:b000:clsersim_minimal", kGetType, "close"},
         {"log 0x00000000", "open 0x00000000 0x100", kTypeReply, "close 0x00000000 0x0"},
         {"0x0100 Control_Command: pre read 0", "0x0100 Close_Cam: call pclSerialClose()"}},
        {"no close function: not usable",
         {},
         {"errors:5", "open:b000:clsersim_noclose", kGetType},
         {"cb Errormessages will appear",
          "cb 0x0001 ERROR Get_Serial_Functions: Cannot load function clSerialClose",
          "open 0xa0330004 0x0", "cb 0x0000 ERROR Control_Command: HANDLE 0x0 not valid",
          "cmd 0x80332006 " + std::string(46, 'e')},
         {}},
        {"a close function that throws",
         {},
         {logStep(0x30043), "open:b000:clsersim", "close", "open:b000:clsersim"},
         {"log 0x00000000", "open 0x00000000 0x100", "close 0x00000000 0x0",
          "open 0x00000000 0x100"},
         {"0x0100 Close_Cam: call pclSerialClose()", "0x0000 Close_Cam done succesfully"},
         {{"CLSERSIM_CLOSE_THROWS", "1"}}},
        {"IMAQ session 2",
         {},
         {logStep(0x30043), "open:2b000:clsersim_imaq:2", kGetType, "close"},
         {"log 0x00000000", "open 0x00000000 0x100", kTypeReply, "close 0x00000000 0x0"},
         {"0x0100 Open_Cam_Ext: use imaq serialref",
          "0x0100 Control_Command: start= 0x0110 serialRef 2"}},
        {"IMAQ without an open structure",
         {},
         {logStep(0x30043), "opencam:29000"},
         {"log 0x00000000", "open 0xa0332001 0x0"},
         {"0x0001 ERROR Open_Cam_Ext: KM4_OpenStruct must be valid"}},
        {"board 1 has no camera",
         {},
         {logStep(0x30043), "open:b001:clsersim", "handle:0", "open:b001:clsersim"},
         {"log 0x00000000", "open 0x80332006 0x0", "open 0x80332006 0x0"},
         {"0x0101 ERROR Open_Cam_Ext: Cannot open serial Cameralink Device"}},
        // The board is open at process exit: the detach closes it.
        {"left open",
         {},
         {logStep(0x30043), "open:b000:clsersim"},
         {"log 0x00000000", "open 0x00000000 0x100"},
         {"process detach DWDllOpened 1", "0x0100 Close_Cam: call pclSerialClose()",
          "TESSIPORT logfile ended"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::remove(data.path("tessiport.log").c_str());
        camsim.stop();
        ASSERT_TRUE(startCamera(row.camera));
        Environment values = environment();
        for (const auto& [name, value] : row.extra)
            values[name] = value;
        const HostRun run = runHost(row.steps, values);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.lines, row.lines);
        expectLogInOrder(row.log);
    }
}

TEST_F(GrabberBoard, TwoBoardsOpenAtOnce) {
    ASSERT_TRUE(startCamera());
    tools::CamsimProcess second;
    ASSERT_TRUE(
        second.start(kCamsim, {"--camlink-port", "0", "--serial", "555", "--cl-baud", "38400"}));
    Environment values = environment();
    values["CLSERSIM_PORT2"] = second.camlinkAddress();
    std::string secondReply = kTypeReply;
    secondReply.replace(secondReply.find("d2040000"), 8, "2b020000");  // serial number 555
    const HostRun run =
        runHost({"open:3000:clsersim", "handle:0", "open:3002:clsersim", "handle:100", kGetType,
                 "rate:115200", "handle:102", kGetType, "params", "handle:100", kGetType, "params",
                 "handle:102", "close", "handle:100", kGetType, "params", "close"},
                values);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(
        run.lines,
        (std::vector<std::string>{
            "open 0x00000000 0x100", "open 0x00000000 0x102", kTypeReply, "rate 0x00000000",
            secondReply, "params 0x00000000 38400 85000000 0x0 0x1 0x0", kTypeReply,
            "params 0x00000000 115200 85000000 0x0 0x1 0x0", "close 0x00000000 0x0", kTypeReply,
            "params 0x00000000 115200 85000000 0x0 0x1 0x0", "close 0x00000000 0x0"}));
}

// The camera is switched off and on (camsim replaced by a new one on the same socket) while its
// board stays open at 38400: the open of the open handle finds the link lost, reconnects and
// scans. The entry's rate is always the one the last answered command used: a camera that comes
// back at a rate the scan cannot reach leaves the grabber at the entry's rate, so once the camera
// is at that rate again, commands go through.
TEST_F(GrabberBoard, ReconnectAfterTheCameraWasSwitchedOffAndOn) {
    const struct {
        const char* name;
        std::vector<std::string> steps;
        std::vector<std::vector<std::string>> cameras;  // the camera's options at each pause
        std::vector<std::string> lines;
        std::vector<std::string> log;
    } rows[] = {
        {"back at its start rate",
         {"pause", "open:3000:clsersim", "params", kGetType},
         {{"--cl-baud", "9600"}},
         {"open 0x00000000 0x100", "params 0x00000000 9600 85000000 0x0 0x1 0x0", kTypeReply},
         {"Open_Cam_Ext: handle was open, test connection",
          "Open_Cam_Ext: Connection lost, try to reconnect", "scan_camera: baudrate set to 9600"}},
        {"back at a rate the grabber is not switched to",
         {"pause", "open:3000:clsersim", "params", "pause", kGetType},
         {{"--cl-baud", "57600"}, {"--cl-baud", "38400"}},
         // The configuration cannot be read: the fields stay, the grabber's rates in Transmit.
         {"open 0x80332007 0x100", "params 0x00000000 38400 85000000 0x0 0x1 0x1700", kTypeReply},
         {"Open_Cam_Ext: Connection lost, try to reconnect",
          "scan_camera_baudrate: test next 115200baud", "scan_camera: baudrate set to 38400",
          "scan_camera_baudrate failed"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::remove(data.path("tessiport.log").c_str());
        camsim.stop();
        ASSERT_TRUE(startCamera());
        std::vector<std::string> steps = {logStep(0x3), "open:3000:clsersim", "rate:38400"};
        steps.insert(steps.end(), row.steps.begin(), row.steps.end());
        steps.push_back("close");
        HostProcess host;
        ASSERT_TRUE(host.start(steps, environment()));
        std::vector<std::string> lines;
        for (const auto& options : row.cameras)
            ASSERT_TRUE(host.passPause(lines, [&] { EXPECT_TRUE(restartCamera(options)); }));
        for (const std::string& line : host.finish())
            lines.push_back(line);
        EXPECT_EQ(host.wait(), 0);
        std::vector<std::string> expected = {"log 0x00000000", "open 0x00000000 0x100",
                                             "rate 0x00000000"};
        expected.insert(expected.end(), row.lines.begin(), row.lines.end());
        expected.push_back("close 0x00000000 0x0");
        EXPECT_EQ(lines, expected);
        expectLogInOrder(row.log);
    }
}

// The shared block: counted processes, and paths that a crashed process cannot pin.
TEST_F(LibraryHost, ProcessesAttachingAtOnceAreAllCounted) {
    constexpr int kHosts = 6;
    std::vector<std::unique_ptr<HostProcess>> hosts;
    for (int i = 0; i < kHosts; ++i) {
        hosts.push_back(std::make_unique<HostProcess>());
        ASSERT_TRUE(hosts.back()->start({"wait"}, environment()));
    }
    for (auto& host : hosts)
        EXPECT_EQ(host->readLine(), "ready");
    const BlockView view = readBlock(block());
    EXPECT_TRUE(view.exists);
    EXPECT_EQ(view.count, uint32_t(kHosts));
    EXPECT_EQ(view.folder, data.path());
    EXPECT_EQ(view.logPath, data.path("tessiport.log"));
    for (auto& host : hosts) {
        host->finish();
        EXPECT_EQ(host->wait(), 0);
    }
    // The last one to go removes the block.
    EXPECT_FALSE(readBlock(block()).exists);
}

TEST_F(LibraryHost, AProcessKilledWhileAttachedDoesNotKeepTheNextFromSettingUpItsLog) {
    tools::TempFolder second;
    std::ofstream(second.path("tessiport.log")).close();  // a log file is opened only if it exists
    HostProcess killed;
    ASSERT_TRUE(killed.start({"wait"}, environment()));
    ASSERT_EQ(killed.readLine(), "ready");
    killed.killHard();
    EXPECT_EQ(readBlock(block()).count, 1u);  // left behind

    Environment later = environment();
    later["QEL_DATA_DIR"] = second.path();
    HostProcess next;
    ASSERT_TRUE(next.start({"wait"}, later));
    ASSERT_EQ(next.readLine(), "ready");
    const BlockView view = readBlock(block());
    EXPECT_EQ(view.count, 1u);
    EXPECT_EQ(view.folder, second.path());
    next.finish();
    EXPECT_EQ(next.wait(), 0);
    EXPECT_THAT(libtest::readText(second.path("tessiport.log")),
                HasSubstr(second.path("tessiport.log") + " logfile started"));
}

TEST_F(LibraryHost, AnUnsizedBlockIsNeverMapped) {
    const int fd = open(block().c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    // A live process holds it without having sized it: the library waits briefly, then opens
    // no boards.
    ASSERT_EQ(flock(fd, LOCK_SH), 0);
    HostRun run = runHost({"errors:5", "open:b101:comport1"}, environment());
    EXPECT_EQ(run.lines, (std::vector<std::string>{
                             "cb Errormessages will appear",
                             "cb 0x0001 ERROR Open_Cam_Ext: Driver is not built for this OS",
                             "open 0x80332005 0x0"}));
    // Once no one holds it, the next process is alone and sizes it itself.
    close(fd);
    run = runHost({"open:b101:comport1"}, environment());
    EXPECT_EQ(run.lines, (std::vector<std::string>{"open 0x80332006 0x0"}));
}

// Another user on the machine: the block and its lock object live where only this user can
// create entries. What another user creates elsewhere does not matter; what stands under the
// block's own names without being this user's private regular file is refused, never used.
namespace lockout {

constexpr uid_t kOtherUser = 65534;

// As another user (a child process that drops to kOtherUser): creates the names the block had
// in the system's shared memory, and tries to create the block in `folder`. The child's exit
// status: 0 when it could create the old names but not the block.
int createAsOtherUser(const std::string& instance, const std::string& folder) {
    const pid_t child = fork();
    if (child == 0) {
        if (setgid(kOtherUser) != 0 || setuid(kOtherUser) != 0) _exit(10);
        const std::string old = "/TESSIPORT-0-" + instance;
        for (const std::string& name : {old, old + ".lock"})
            if (shm_open(name.c_str(), O_RDWR | O_CREAT, 0666) < 0) _exit(11);
        const std::string block = blockPath(folder, instance);
        _exit(open(block.c_str(), O_RDWR | O_CREAT, 0666) >= 0 ? 12 : 0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool exists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

}  // namespace lockout

TEST_F(LibraryHost, NoOtherUserCanLockTheLibraryOut) {
    using namespace lockout;
    const std::string inRuntime = block();
    const std::string inData = blockPath(data.path(), instance);
    const struct {
        const char* name;
        std::function<void()> plant;
        std::string open;           // the open's line
        std::string blockWhileUp;   // where the block is while the host runs; empty: nowhere
    } rows[] = {
        {"another user creates names first", [&] {
             if (geteuid() != 0) return;  // only root can be another user here
             EXPECT_EQ(createAsOtherUser(instance, runtime.path()), 0);
         }, "open 0x80332006 0x0", inRuntime},
        {"runtime folder open to others", [&] { chmod(runtime.path().c_str(), 0755); },
         "open 0x80332006 0x0", inData},
        {"block is a FIFO", [&] { mkfifo(inRuntime.c_str(), 0600); }, "open 0x80332005 0x0", ""},
        {"block is a folder", [&] { mkdir(inRuntime.c_str(), 0700); }, "open 0x80332005 0x0", ""},
        {"block readable by others", [&] { close(open(inRuntime.c_str(), O_CREAT | O_RDWR, 0644)); },
         "open 0x80332005 0x0", ""},
        {"lock object is a FIFO", [&] { mkfifo((inRuntime + ".lock").c_str(), 0600); },
         "open 0x80332005 0x0", ""},
        {"block of another user", [&] {
             if (geteuid() != 0) return;
             close(open(inRuntime.c_str(), O_CREAT | O_RDWR, 0600));
             EXPECT_EQ(chown(inRuntime.c_str(), kOtherUser, kOtherUser), 0);
         }, geteuid() == 0 ? "open 0x80332005 0x0" : "open 0x80332006 0x0",
         geteuid() == 0 ? "" : inRuntime},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        for (const std::string& path : {inRuntime, inRuntime + ".lock"}) {
            unlink(path.c_str());
            rmdir(path.c_str());
        }
        chmod(runtime.path().c_str(), 0700);
        row.plant();
        HostProcess host;
        ASSERT_TRUE(host.start({"open:b101:comport1", "wait"}, environment()));
        EXPECT_EQ(host.readLine(), row.open);
        EXPECT_EQ(host.readLine(), "ready");
        if (!row.blockWhileUp.empty()) {
            EXPECT_TRUE(readBlock(row.blockWhileUp).exists);
            EXPECT_TRUE(lockout::exists(row.blockWhileUp + ".lock"));
        }
        host.finish();
        EXPECT_EQ(host.wait(), 0);
        // The last process removes the block and its lock object; what it refused stays.
        if (!row.blockWhileUp.empty()) {
            EXPECT_FALSE(lockout::exists(row.blockWhileUp));
            EXPECT_FALSE(lockout::exists(row.blockWhileUp + ".lock"));
        }
    }
    const std::string old = "/TESSIPORT-0-" + instance;
    shm_unlink(old.c_str());
    shm_unlink((old + ".lock").c_str());
}

// A FIFO where the parameter file is looked for, beside a log file that exists: the load reads
// neither it nor waits for it.
TEST_F(LibraryHost, AFifoInTheDataFolderDoesNotHoldUpTheLoad) {
    std::ofstream(data.path("tessiport.log")).close();
    ASSERT_EQ(mkfifo(data.path("km4_cl_param.ini").c_str(), 0600), 0);
    HostProcess host;
    ASSERT_TRUE(host.start({"wait"}, environment()));
    EXPECT_EQ(host.readLine(std::chrono::seconds(3)), "ready");
    host.finish();
    EXPECT_EQ(host.wait(), 0);
    EXPECT_THAT(logText(), HasSubstr(data.path("tessiport.log") + " logfile started"));
}

// A process that goes while another still has the library loaded leaves the shared log open for
// it; the last one ends it.
TEST_F(LibraryHost, OnlyTheLastProcessEndsTheLog) {
    std::ofstream(data.path("tessiport.log")).close();
    HostProcess first;
    ASSERT_TRUE(first.start({"wait"}, environment()));
    ASSERT_EQ(first.readLine(), "ready");
    const HostRun second = runHost({"log:3:" + data.path("tessiport.log")}, environment());
    EXPECT_EQ(second.lines, std::vector<std::string>{"log 0x00000000"});
    EXPECT_THAT(logText(), Not(HasSubstr("logfile ended")));
    first.finish();
    EXPECT_EQ(first.wait(), 0);
    const std::string text = logText();
    EXPECT_THAT(text, HasSubstr("logfile ended"));
    EXPECT_EQ(text.find("logfile ended"), text.rfind("logfile ended"));
}

}  // namespace

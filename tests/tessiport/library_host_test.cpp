// The real libtessiport.so in a plain C host: its exports, the refusals, command transactions on
// camsim, and the shared block across processes.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <regex>

#include "host_process.h"
#include "test_support.h"
#include "tools/camsim_process.h"
#include "tools/temp_folder.h"

namespace {

using namespace tessiport_test;
using testing::HasSubstr;
using testing::Not;
using Lines = std::vector<std::string>;

const std::string kCamsim = KF_BINARY_DIR "/bin/camsim";
// GET_CAMERA_TYPE as a host passes it: no checksum byte filled in.
const std::string kGetType = "cmd:5:23:1001050000";
// camsim's reply without its checksum: code 0x0190, length 24, type 0x0400, serial 1234.
const std::string kTypeReply = "cmd 0x00000000 9001180000040000d20400000000000000000000000000";
const std::string kErrors = "errors:5", kShown = "cb Errormessages will appear";
const std::string kOpened = "open 0x00000000 0x100", kClosed = "close 0x00000000 0x0";
const std::string kLogOn = "log 0x00000000";
const std::string kNoHandle = "cmd 0x80332006 " + std::string(46, 'e');

// One run of the host: its steps and output lines, in order the log texts it leaves, and the
// options of the camsim it runs on.
struct HostCase {
    const char* name;
    Lines steps;
    Lines lines;
    Lines log = {};
    Lines camera = {};                 // camsim's options
    std::vector<Lines> restarts = {};  // the camera switched off and on at each "pause" step
    Lines second = {};                 // options of a camera on board 2 of its own
    Environment extra = {};
};

class LibraryHost : public testing::Test {
protected:
    Environment environment() const {
        return {{"TESSIPORT_INSTANCE", instance},
                {"XDG_RUNTIME_DIR", runtime.path()},
                {"QEL_DATA_DIR", data.path()},
                {"TESSIPORT_SYSTEM_DIR", data.path()},
                {"QEL_COM1", "/nonexistent/port"}};
    }
    std::string logText() const { return libtest::readText(logPath); }
    std::string block() const { return blockPath(runtime.path(), instance); }
    std::string logStep(const char* bits = "20043") const {
        return std::string("log:") + bits + ":" + logPath;
    }
    // The camera switched off and on: a new camsim on the same Camera Link socket.
    bool restartCamera(Lines options) {
        const std::string address = camsim.camlinkAddress();
        camsim.stop();
        options.insert(options.begin(), {"--camlink-port", address.substr(address.rfind(':') + 1)});
        return camsim.start(kCamsim, options) && camsim.camlinkAddress() == address;
    }
    // A run on a camera (camsim) or on none at all.
    void run(const HostCase& row, bool onCamera = true) {
        SCOPED_TRACE(row.name);
        std::remove(logPath.c_str());
        Environment values = environment();
        if (onCamera) {
            Lines options = {"--camlink-port", "0"};
            options.insert(options.end(), row.camera.begin(), row.camera.end());
            camsim.stop();
            ASSERT_TRUE(camsim.start(kCamsim, options));
            values["CLSERSIM_PORT0"] = values["CLSERSIM_PORT2"] = camsim.camlinkAddress();
            values["QEL_COM1"] = camsim.portPath();
        }
        tools::CamsimProcess second;
        if (!row.second.empty()) {
            Lines options = {"--camlink-port", "0"};
            options.insert(options.end(), row.second.begin(), row.second.end());
            ASSERT_TRUE(second.start(kCamsim, options));
            values["CLSERSIM_PORT2"] = second.camlinkAddress();
        }
        for (const auto& [name, value] : row.extra)
            values[name] = value;
        HostProcess host;
        ASSERT_TRUE(host.start(row.steps, values));
        Lines lines;
        for (const Lines& options : row.restarts)
            ASSERT_TRUE(host.passPause(lines, [&] { EXPECT_TRUE(restartCamera(options)); }));
        for (const std::string& line : host.finish())
            lines.push_back(line);
        EXPECT_EQ(host.wait(), 0);
        EXPECT_EQ(lines, row.lines);
        // Each expected text must appear in the log, in this order.
        const std::string log = logText();
        size_t at = 0;
        for (const std::string& text : row.log) {
            const size_t found = log.find(text, at);
            EXPECT_NE(found, std::string::npos) << "missing after offset " << at << ": " << text;
            at = found == std::string::npos ? at : found + text.size();
        }
    }
    tools::TempFolder data;
    tools::TempFolder runtime;
    const std::string logPath = data.path("tessiport.log");
    const std::string instance = uniqueInstance();
    tools::CamsimProcess camsim;
};

TEST(Exports, ExactlyTheInterfaceNamesLeaveTheLibrary) {
    // The global section of the version script: "global: a; b; local: *;".
    const std::string map = libtest::readText(KF_SOURCE_DIR "/tessiport/exports.map");
    const std::string global = map.substr(0, map.find("local:"));
    std::set<std::string> expected;
    const std::regex name(R"((\w+);)");
    for (std::sregex_iterator it(global.begin(), global.end(), name), end; it != end; ++it)
        expected.insert((*it)[1]);
    EXPECT_EQ(expected.size(), 31u);
    EXPECT_EQ(libtest::exportedNames(kLibrary), expected);
}

TEST_F(LibraryHost, RefusalsBeforeAnyChannelIsTouched) {
    const std::string noName =
        "cb 0x0777 ERROR Open_Cam_Ext: stringlength of cl_ser_file_name in KM4_OpenStruct";
    const std::string noStruct = "cb 0x0777 ERROR Open_Cam_Ext: KM4_OpenStruct must be valid";
    const std::string command = "cb 0x0000 ERROR Control_Command: wrongvalue ";
    std::vector<std::string> refusedImages;
    for (const char* name :
         {"Get_Image_Queued", "Set_Image_Buffer", "Cancel_Images", "Set_Image_Parameters",
          "Set_buffer_managment", "Allocate_Framebuffer", "Free_Framebuffer", "Start_Acquire",
          "Stop_Acquire", "Wait_for_image", "Unblock_image_buffer", "Get_image_buffer_adr"})
        refusedImages.push_back(std::string("0x0104 ERROR ") + name +
                                ": Function not valid in serial Interface\r\n");
    std::string images = "image";
    for (int i = 0; i < 12; ++i)
        images += " 0xa0332002";
    const std::string refused = "open 0xa0332001 0x777";
    const HostCase rows[] = {
        // Control_Command checks its arguments before it looks for the handle; Open_Cam_Ext's
        // argument checks leave the caller's handle value as it was.
        {"argument checks",
         {kErrors, "cmd:4:0:1001050000", "cmd:512:0:1001050000", "cmd:5:0:0000050000",
          "cmd:5:0:1001060000", "handle:777", "open:8000", "opencam:3000", "opencam:29000",
          "open:3000:", "open:3000:" + std::string(100, 'x')},
         {kShown, command + "size_in 4", "cmd 0xa0332001", command + "size_in 512",
          "cmd 0xa0332001", command + "command 0", "cmd 0xa0332001", command + "command size 6",
          "cmd 0xa0332001",
          "cb 0x0777 ERROR Open_Cam_Ext: QEL_KM4_CL_ONLY_SERIAL_INIT flag must be set in initmode",
          refused, noStruct, refused, noStruct, refused,  // Open_Cam; an IMAQ open without one
          noName, refused, noName, refused}},
        // A COM port that cannot be opened, or a serial library without a close function, frees
        // the entry: the handle value is 0 again.
        {"no COM port, no close function, no such handle",
         {kErrors, "open:b101:comport1", "open:b000:clsersim_noclose", "handle:345",
          "cmd:5:4:1001050000", "params", "rate:9600", "close", "close", kGetType},
         {kShown, "cb 0x0001 ERROR Error open Comport", "",
          "cb 0x0101 ERROR Open_Cam_Ext: Cannot open comport1", "open 0x80332006 0x0",
          "cb 0x0001 ERROR Get_Serial_Functions: Cannot load function clSerialClose",
          "open 0xa0330004 0x0", "cb 0x0345 ERROR Control_Command: HANDLE 0x345 not valid",
          "cmd 0x80332006 eeeeeeee",
          "cb 0x0345 ERROR Get_Transfer_Parameters: HANDLE 0x345 not valid",
          "params 0x80332006 0 0 0x0 0x0 0x0",
          "cb 0x0345 ERROR Set_Transfer_Parameters: HANDLE 0x345 not valid", "rate 0x80332006",
          "cb 0x0345 ERROR Close_Cam: HANDLE 0x345 not valid", "close 0x80332006 0x0", kClosed,
          "cb 0x0000 ERROR Control_Command: HANDLE 0x0 not valid", kNoHandle}},
        {"image functions and fixed answers",
         {logStep("3"), "handle:104", "image"},
         {kLogOn, images + " fixed 0x0 generation 1 pending 0"},
         refusedImages},
    };
    for (const HostCase& row : rows)
        run(row, false);
}

// Runs of the host on boards behind libclsersim, the simulated frame grabber, on camsim's Camera
// Link socket, or a COM-port board (comport1) on the same camsim's pty.
TEST_F(LibraryHost, TransactionsRatesReconnectsAndLibraryVariants) {
    std::string secondReply = kTypeReply;
    secondReply.replace(secondReply.find("d2040000"), 8, "2b020000");  // serial number 555
    const std::string params = "params 0x00000000 ", at38400 = params + "38400 85000000 0x0 0x1 0x0";
    const std::string at115200 = params + "115200 85000000 0x0 0x1 0x0";
    const HostCase rows[] = {
        {"COM port: transactions, a shared open, close",
         {"open:b101:comport1", kGetType, "cmd:5:6:1001050000", "error",
          // A second open of the board shares the entry; the first close only counts down.
          "handle:0", "open:b101:comport1", "close", "handle:101", kGetType, "close", kGetType,
          // With the connection test: configuration and revisions read over the port.
          "open:3101:comport1"},
         {"open 0x00000000 0x101", kTypeReply,
          // The checksum test allows replies up to capacity 9 + 1 bytes.
          "cmd 0x80332008 eeeeeeeeeeee", "error 0x00000000", "open 0x00000000 0x101", kClosed,
          kTypeReply, kClosed, kNoHandle, "open 0x00000000 0x101"}},
        // The grabber's close function throws: the close and the detach at the end go on.
        {"transactions, error replies, command 0x011A, a close function that throws",
         {logStep(), "open:b000:clsersim", kGetType, "cmd:5:9:1101050000", "error", kGetType,
          "error",
          // 0x011A goes out as given, its wrong last byte included: the camera refuses its
          // checksum.
          "cmd:7:9:1a010500429998", "close", kGetType, "open:b000:clsersim"},
         {kLogOn, kOpened, kTypeReply, "cmd 0x80001020 d101090020100080ee", "error 0x80001020",
          kTypeReply, "error 0x00000000", "cmd 0x80001002 da01090002100080ee", kClosed, kNoHandle,
          kOpened},
         {"0x0001 Open_Cam_Ext(b000,0,", "0x0100 Open_Cam_Ext: call pclSerialInit",
          "0x0100 Open_Cam_Ext: init without connection test",
          "0x0100 Control_Command: start= 0x0110 serialRef ", "0x0100 Command 0x0110 0x0005 0x16",
          "0x0100 Control_Command: serialFlush called",
          "0x0100 Control_Command: bytes done 24 0x0018", "0x0100 return  0x0190 0x0018",
          "0x0100 Control_Command: Control_command end",
          "0x0100 Command 0x011a 0x0007 0x42 0x99 0x98", "0x0100 Close_Cam(100)",
          "0x0100 Close_Cam: call pclSerialClose()", "0x0100 Close_Cam: call FreeLibrary()",
          "0x0000 Close_Cam done succesfully"},
         {"--fault", "error:0x0111:0x80001020"},
         {},
         {},
         {{"CLSERSIM_CLOSE_THROWS", "1"}}},
        // The connection-tested open finds the camera's rate; Set_Transfer_Parameters switches
        // camera and grabber. Reading the configuration replaces Transmit whole, the grabber
        // mask bits included.
        {"the connection test finds the rate, a switch changes it",
         {logStep("3"), "open:3000:clsersim", "params", "rate:57600", "rate:38400", kGetType,
          "params", "close"},
         {kLogOn, kOpened, at115200, "rate 0xa0332001", "rate 0x00000000", kTypeReply, at38400,
          kClosed},
         {"scan_camera_baudrate: start with 9600baud", "scan_camera_baudrate: test next 19200baud",
          "scan_camera_baudrate: test next 38400baud", "scan_camera_baudrate: test next 115200baud",
          "scan_camera: baudrate set to 115200", "ERROR set_baudrate: selected baudrate not valid"},
         {"--cl-baud", "115200"}},
        // Without the connection test each switch asks the camera at the grabber's rate before
        // it, which a camera at 19200 does not answer: only the grabber moves, and 9600 is asked
        // although the entry never left it. The entry's rate follows the last whole reply, so
        // once a reply came through at 19200 there is nothing left to change.
        {"an unconfirmed switch moves only the grabber",
         {"open:b000:clsersim", "rate:115200", "rate:9600", "rate:19200", kGetType, "rate:19200",
          "close"},
         {kOpened, "rate 0x80332007", "rate 0x80332007", "rate 0x80332007", kTypeReply,
          "rate 0x00000000", kClosed},
         {},
         {"--cl-baud", "19200"}},
        // camsim's reply faults over the Camera Link socket; each failure leaves the board open
        // for the next command.
        {"failures of the channel and of the reply",
         {kErrors, "open:b000:clsersim", "timeouts:4:100,0,0", kGetType, kGetType,
          "cmd:5:9:1632050000", "cmd:5:12:1634050000", "cmd:5:20:1101050000"},
         {kShown, kOpened, "timeouts 0x00000000",
          "cb 0x0100 ERROR Control_Command: SerialRead() returns -10004",
          "cmd 0x80332007 " + std::string(46, 'e'), kTypeReply,
          "cb 0x0100 ERROR Control_Command: wrong command return 0x3396 != 0x3296",
          "cmd 0x8033200c 9633090080250000ee", "cb 0x0001 ERROR test_checksum size error",
          "cmd 0x80332008 " + std::string(24, 'e'),
          "cb 0x0100 ERROR Control_Command: SerialRead() returns -10004",
          "cmd 0x80332007 " + std::string(40, 'e')},
         {},
         {"--fault", "no-reply:0x0110:1", "--fault", "wrong-code:0x3216", "--fault",
          "bad-checksum:0x3416", "--fault", "short-body:0x0111"}},
        // One library variant after another on the same entry; the board left open at process
        // exit is closed by the detach.
        {"no flush function, an IMAQ session, no camera, left open",
         {logStep("30043"), "open:b000:clsersim_minimal", kGetType, "close",
          "open:2b000:clsersim_imaq:2", kGetType, "close", "open:b001:clsersim", "handle:0",
          "open:b001:clsersim", "open:b000:clsersim"},
         {kLogOn, kOpened, kTypeReply, kClosed, kOpened, kTypeReply, kClosed, "open 0x80332006 0x0",
          "open 0x80332006 0x0", kOpened},
         {"0x0100 Control_Command: pre read 0", "0x0100 Close_Cam: call pclSerialClose()",
          "0x0100 Open_Cam_Ext: use imaq serialref",
          "0x0100 Control_Command: start= 0x0110 serialRef 2",
          "0x0101 ERROR Open_Cam_Ext: Cannot open serial Cameralink Device",
          "process detach DWDllOpened 1", "0x0100 Close_Cam: call pclSerialClose()",
          "TESSIPORT logfile ended"}},
        // Two boards at rates of their own: a change on one leaves the other's as it is.
        {.name = "two boards open at once",
         .steps = {"open:3000:clsersim", "handle:0", "open:3002:clsersim", "handle:100", kGetType,
                   "rate:115200", "handle:102", kGetType, "params", "handle:100", kGetType,
                   "params", "handle:102", "close", "handle:100", kGetType, "params", "close"},
         .lines = {kOpened, "open 0x00000000 0x102", kTypeReply, "rate 0x00000000", secondReply,
                   at38400, kTypeReply, at115200, kClosed, kTypeReply, at115200, kClosed},
         .second = {"--serial", "555", "--cl-baud", "38400"}},
        // The camera is switched off and on while its board stays open at 38400: the open of the
        // open handle finds the link lost, reconnects and scans. The entry's rate is always the
        // one the last answered command used: a camera that comes back at a rate the scan cannot
        // reach leaves the grabber at the entry's rate, so once the camera is at that rate
        // again, commands go through.
        {"switched off and on, back at its start rate",
         {logStep("3"), "open:3000:clsersim", "rate:38400", "pause", "open:3000:clsersim", "params",
          kGetType, "close"},
         {kLogOn, kOpened, "rate 0x00000000", kOpened, params + "9600 85000000 0x0 0x1 0x0",
          kTypeReply, kClosed},
         {"Open_Cam_Ext: handle was open, test connection",
          "Open_Cam_Ext: Connection lost, try to reconnect", "scan_camera: baudrate set to 9600"},
         {},
         {{"--cl-baud", "9600"}}},
        // The configuration cannot be read: the fields stay, the grabber's rates in Transmit.
        {"switched off and on, back at a rate the grabber is not switched to",
         {logStep("3"), "open:3000:clsersim", "rate:38400", "pause", "open:3000:clsersim", "params",
          "pause", kGetType, "close"},
         {kLogOn, kOpened, "rate 0x00000000", "open 0x80332007 0x100",
          params + "38400 85000000 0x0 0x1 0x1700", kTypeReply, kClosed},
         {"Open_Cam_Ext: Connection lost, try to reconnect",
          "scan_camera_baudrate: test next 115200baud", "scan_camera: baudrate set to 38400",
          "scan_camera_baudrate failed"},
         {},
         {{"--cl-baud", "57600"}, {"--cl-baud", "38400"}}},
    };
    for (const HostCase& row : rows)
        run(row);
}

// The shared block counts processes that attach at once; the last one to go removes it. A FIFO
// where the parameter file is looked for holds up no load. A process killed while attached leaves
// its count behind; the next one alone sets up the block and its log anew, in the data folder it
// names, and a process that goes while it still has the library loaded leaves that log open for
// it: the last one ends it.
TEST_F(LibraryHost, ProcessesShareTheBlockAndOnlyTheLastEndsTheLog) {
    libtest::writeText(logPath, "");  // a log file is opened only if it exists
    ASSERT_EQ(mkfifo(data.path("km4_cl_param.ini").c_str(), 0600), 0);
    std::vector<std::unique_ptr<HostProcess>> hosts(6);
    for (auto& host : hosts) {
        host = std::make_unique<HostProcess>();
        ASSERT_TRUE(host->start({"wait"}, environment()));
    }
    for (auto& host : hosts)
        EXPECT_EQ(host->readLine(), "ready");
    const BlockView view = readBlock(block());
    EXPECT_TRUE(view.exists);
    EXPECT_EQ(view.count, 6u);
    EXPECT_EQ(view.folder, data.path());
    EXPECT_EQ(view.logPath, logPath);
    for (auto& host : hosts) {
        host->finish();
        EXPECT_EQ(host->wait(), 0);
    }
    EXPECT_FALSE(readBlock(block()).exists);
    EXPECT_THAT(logText(), HasSubstr(logPath + " logfile started"));

    tools::TempFolder second;
    const std::string secondLog = second.path("tessiport.log");
    libtest::writeText(secondLog, "");
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
    const BlockView again = readBlock(block());
    EXPECT_EQ(again.count, 1u);
    EXPECT_EQ(again.folder, second.path());
    HostProcess logging;
    ASSERT_TRUE(logging.start({"log:3:" + secondLog}, later));
    EXPECT_EQ(logging.finish(), Lines{kLogOn});
    EXPECT_THAT(libtest::readText(secondLog), Not(HasSubstr("logfile ended")));
    next.finish();
    EXPECT_EQ(next.wait(), 0);
    const std::string text = libtest::readText(secondLog);
    EXPECT_THAT(text, HasSubstr(secondLog + " logfile started"));
    EXPECT_THAT(text, HasSubstr("logfile ended"));
    EXPECT_EQ(text.find("logfile ended"), text.rfind("logfile ended"));
}

bool exists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

// Another user on the machine: the block and its lock object live where only this user can
// create entries. What another user creates elsewhere does not matter; what stands under the
// block's own names without being this user's private regular file is refused, never used. A
// block that a live process holds without having sized it is waited for briefly, then refused;
// one that no one holds is sized by the next process.
TEST_F(LibraryHost, NoOtherUserCanLockTheLibraryOut) {
    constexpr uid_t kOtherUser = 65534;
    const bool root = geteuid() == 0;  // only root can be another user here
    const std::string inRuntime = block(), inData = blockPath(data.path(), instance);
    const std::string old = "/TESSIPORT-0-" + instance;  // the names it had in shared memory
    const Lines refused = {kShown, "cb 0x0001 ERROR Open_Cam_Ext: Driver is not built for this OS",
                           "open 0x80332005 0x0"};
    const Lines opened = {kShown, "cb 0x0001 ERROR Error open Comport", "",
                          "cb 0x0101 ERROR Open_Cam_Ext: Cannot open comport1",
                          "open 0x80332006 0x0"};
    int holder = -1;
    const struct {
        const char* name;
        std::function<void()> plant;
        Lines open;                // the open's lines
        std::string blockWhileUp;  // where the block is while the host runs; empty: nowhere
    } rows[] = {
        {"another user creates names first",
         [&] {
             if (!root)
                 return;
             // As another user: the old names can be created, the block cannot.
             const pid_t child = fork();
             if (child == 0) {
                 if (setgid(kOtherUser) != 0 || setuid(kOtherUser) != 0)
                     _exit(10);
                 for (const std::string& name : {old, old + ".lock"})
                     if (shm_open(name.c_str(), O_RDWR | O_CREAT, 0666) < 0)
                         _exit(11);
                 _exit(open(inRuntime.c_str(), O_RDWR | O_CREAT, 0666) >= 0 ? 12 : 0);
             }
             int status = -1;
             waitpid(child, &status, 0);
             EXPECT_EQ(status, 0);
         },
         opened, inRuntime},
        {"runtime folder open to others", [&] { chmod(runtime.path().c_str(), 0755); }, opened,
         inData},
        {"block is a FIFO", [&] { mkfifo(inRuntime.c_str(), 0600); }, refused, ""},
        {"block is a folder", [&] { mkdir(inRuntime.c_str(), 0700); }, refused, ""},
        {"block readable by others",
         [&] { close(open(inRuntime.c_str(), O_CREAT | O_RDWR, 0644)); }, refused, ""},
        {"lock object is a FIFO", [&] { mkfifo((inRuntime + ".lock").c_str(), 0600); }, refused,
         ""},
        {"block of another user",
         [&] {
             if (!root)
                 return;
             close(open(inRuntime.c_str(), O_CREAT | O_RDWR, 0600));
             EXPECT_EQ(chown(inRuntime.c_str(), kOtherUser, kOtherUser), 0);
         },
         root ? refused : opened, root ? "" : inRuntime},
        {"unsized block held by a live process",
         [&] {
             holder = open(inRuntime.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
             EXPECT_EQ(flock(holder, LOCK_SH), 0);
         },
         refused, ""},
        {"unsized block no one holds",
         [&] {
             close(holder);
             close(open(inRuntime.c_str(), O_CREAT | O_RDWR, 0600));
         },
         opened, inRuntime},
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
        ASSERT_TRUE(host.start({kErrors, "open:b101:comport1", "wait"}, environment()));
        Lines lines;
        for (auto line = host.readLine(); line && *line != "ready"; line = host.readLine())
            lines.push_back(*line);
        EXPECT_EQ(lines, row.open);
        const std::string& up = row.blockWhileUp;
        EXPECT_TRUE(up.empty() || (readBlock(up).exists && exists(up + ".lock")));
        host.finish();
        EXPECT_EQ(host.wait(), 0);
        // The last process removes the block and its lock object; what it refused stays.
        EXPECT_TRUE(up.empty() || (!exists(up) && !exists(up + ".lock")));
    }
    shm_unlink(old.c_str());
    shm_unlink((old + ".lock").c_str());
}

}  // namespace

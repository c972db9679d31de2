// The library's log (levels, outputs, prefixes, the file a host names, telegram dumps, the set-up
// at attach), its parameter file, and the odd files that may stand under their names.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <future>
#include <regex>

#include "tessiport/library_log.h"
#include "test_log.h"

namespace tessiport {
namespace {

using test::LogCapture;
using testing::ElementsAre;

std::vector<std::string> errorTexts;
void recordError(const char* text) { errorTexts.push_back(text); }

TEST(LibraryLog, LevelMaskErrorPrefixAndErrorOutput) {
    const struct {
        uint32_t bits;
        uint32_t level;
        std::vector<std::string> expected;  // file lines
        std::string text = "text";
    } cases[] = {
        {3, 0, {"ERROR text"}},  // level 0 counts as an error line
        {2, 0, {}},
        {1, 2, {}},
        {0x40, 0x40, {"text"}},
        {0x20003, 0x20000, {"text"}},
        {3, 0x10002, {"text"}},  // one matching bit suffices
        // A line, value column and "ERROR " included, is cut to 297 characters.
        {3, level::kError, {"ERROR " + std::string(297 - 13, 'x')}, std::string(400, 'x')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.bits) + " " + std::to_string(c.level));
        LogCapture log(c.bits);
        errorTexts.clear();
        Enable_Error_Messages(1 | 4, recordError);
        LogMessage(c.level, 1, "%s", c.text.c_str());
        EXPECT_EQ(log.lines(), c.expected);
        std::vector<std::string> expectedErrors = {"Errormessages will appear"};
        if (!c.expected.empty() && c.expected[0].rfind("ERROR", 0) == 0)
            expectedErrors.push_back("0x0001 " + c.expected[0]);
        EXPECT_EQ(errorTexts, expectedErrors);
    }
}

TEST(LibraryLog, ErrorOutputBits) {
    LogCapture log(3);
    Enable_Message_Log(0, nullptr);  // no log file: error lines still reach the outputs
    std::vector<std::string> boxes;
    const TP_UserInterface ui{nullptr,
                              [](void* context, const char* text) {
                                  static_cast<std::vector<std::string>*>(context)->push_back(text);
                              },
                              &boxes};
    Enable_Error_Messages(2 | 8, nullptr);  // without bit 1 nothing is shown
    Register_User_Interface(&ui);
    testing::internal::CaptureStdout();
    Enable_Error_Messages(1 | 2 | 8, nullptr);
    LogMessage(level::kError, 0x100, "fault %d", 7);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Errormessages will appear\n0x0100 ERROR fault 7\n");
    EXPECT_THAT(boxes, ElementsAre("Errormessages will appear", "0x0100 ERROR fault 7"));

    Register_User_Interface(nullptr);  // a message box without a host shows nothing
    Enable_Error_Messages(1 | 2, nullptr);
    LogMessage(level::kError, 1, "unseen");
    EXPECT_EQ(boxes.size(), 2u);
}

TEST(LibraryLog, TimePrefixes) {
    {
        LogCapture log(0x1003);
        LogMessage(level::kInfo, 1, "a");
        const std::string line = log.rawLines().back();
        EXPECT_TRUE(std::regex_match(line, std::regex(R"(\d\d:\d\d:\d\d\.\d{3} 0x0001 a)"))) << line;
    }
    LogCapture log(0x2003);
    LogMessage(level::kInfo, 1, "first");
    LogMessage(level::kInfo, 1, "second");
    const std::vector<std::string> lines = log.rawLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "000000ms 0x0001 first");
    EXPECT_TRUE(std::regex_match(lines[2], std::regex(R"(0000\d\dms 0x0001 second)"))) << lines[2];
}

TEST(LibraryLog, EnableMessageLogRefusalsAndEnd) {
    tools::TempFolder folder;
    const std::string base = folder.path() + "/";
    const std::string name99 = base + std::string(99 - base.size(), 'n');
    const std::string name100 = name99 + "n";
    LogCapture log(3);
    EXPECT_EQ(Enable_Message_Log(3, name100.c_str()), TP_ERR_MISSING_FUNCTION);
    EXPECT_NE(::access(name100.c_str(), F_OK), 0);
    EXPECT_THAT(log.lines(), ElementsAre("ERROR Enable_Message_Log: file name of 100 characters refused"));
    EXPECT_EQ(Enable_Message_Log(3, name99.c_str()), TP_OK);
    EXPECT_EQ(::access(name99.c_str(), F_OK), 0);

    EXPECT_EQ(Enable_Message_Log(3, (base + "missing/x.log").c_str()), TP_ERR_MISSING_FUNCTION);
    EXPECT_FALSE(logFileIsOpen());

    EXPECT_EQ(Enable_Message_Log(0x41, name99.c_str()), TP_OK);
    EXPECT_EQ(Enable_Message_Log(0, nullptr), TP_OK);
    const std::string ended = test::readText(name99);
    EXPECT_TRUE(std::regex_search(ended, std::regex(R"(TESSIPORT logfile ended \d\d:\d\d\.\d\d\r\n\r\n$)")));
    EXPECT_EQ(logBits(), 0x41u);  // ending the log keeps the selection
    EXPECT_EQ(Enable_Message_Log(0, nullptr), TP_OK);  // none open: nothing written
    EXPECT_EQ(test::readText(name99), ended);
}

TEST(LibraryLog, TwoProcessesAppendWholeLines) {
    LogCapture log(3);
    const std::string payload(200, 'p');
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    const char* who = child == 0 ? "child" : "parent";
    for (int i = 0; i < 300; ++i) LogMessage(level::kInfo, 1, "%s %03d %s", who, i, payload.c_str());
    if (child == 0) ::_exit(0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    const std::regex whole("(child|parent) \\d{3} " + payload);
    int count = 0;
    for (const std::string& line : log.lines()) {
        EXPECT_TRUE(std::regex_match(line, whole)) << line;
        ++count;
    }
    EXPECT_EQ(count, 600);
}

TEST(LibraryLog, TelegramDumps) {
    std::vector<uint8_t> long20(20);
    for (size_t i = 0; i < long20.size(); ++i)
        long20[i] = uint8_t(i);
    long20[0] = 0x03, long20[1] = 0x14, long20[2] = 20;
    const struct {
        std::vector<uint8_t> telegram;
        bool reply;
        std::vector<std::string> expected;
    } cases[] = {
        {{0x10, 0x01, 5, 0, 0x16}, false, {"Command 0x0110 0x0005 0x16"}},
        {{0x10, 0x01, 6, 0, 0xAA, 0xC1}, false, {"Command 0x0110 0x0006 0xaa  0xc1"}},
        {{0x90, 0x01, 7, 0, 1, 2, 3}, true, {"return  0x0190 0x0007 0x01 0x02 0x03"}},
        {{0x90, 0x01, 8, 0, 1, 2, 3, 4}, true, {"return  0x0190 0x0008 0x01 0x02 0x03 0x04"}},
        {long20, false,
         {"Command 0x1403 0x0014",
          "        0x04 0x05 0x06 0x07 0x08 0x09 0x0a 0x0b 0x0c 0x0d 0x0e 0x0f 0x10 0x11 0x12 0x13"}},
    };
    for (const auto& c : cases) {
        LogCapture log(0x20003);
        const uint32_t size = uint32_t(c.telegram.size());
        if (c.reply) logReplyDump(0x100, c.telegram.data(), size);
        else logCommandDump(0x100, c.telegram.data(), size);
        EXPECT_EQ(log.lines(), c.expected);
    }
    LogCapture log(0x20003);
    Enable_Message_Log(0, nullptr);
    logCommandDump(0x100, long20.data(), 20);  // no log file: no dump, and no crash
    EXPECT_EQ(log.lines().size(), 0u);
}

TEST(LogSetUp, PrivateFolderStartLinesAndRefusal) {
    tools::TempFolder scratch;
    const std::string dir = scratch.path("state/qel");
    ::setenv("QEL_DATA_DIR", dir.c_str(), 1);
    char folder[kLibraryPathLength] = {}, logPath[kLibraryPathLength] = {},
         paramPath[kLibraryPathLength] = {};
    setUpLog(folder, logPath, paramPath);
    EXPECT_EQ(std::string(folder), dir);
    EXPECT_EQ(std::string(logPath), dir + "/tessiport.log");
    EXPECT_EQ(std::string(paramPath), dir + "/km4_cl_param.ini");
    struct stat info {};
    ASSERT_EQ(::stat(dir.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_FALSE(logFileIsOpen());  // the log file is never created at attach

    test::writeText(logPath, "");
    test::writeText(paramPath, "LOGGING=0x10003\n");
    setUpLog(folder, logPath, paramPath);
    EXPECT_TRUE(logFileIsOpen());
    endLog();
    const std::string text = test::readText(logPath);
    EXPECT_TRUE(std::regex_search(
        text, std::regex(dir + R"(/tessiport.log logfile started \d\d:\d\d:\d\d \d\d\.\d\d\.\d{4}\r\n)"
                               R"(TESSIPORT DLL-Version: 1,11,0,0 from .+\r\n\r\n0x0001 log_bits set to 0x10003\r\n)")))
        << text;
    setLogBits(3);

    ::chmod(dir.c_str(), 0777);
    char empty[3][kLibraryPathLength] = {};
    testing::internal::CaptureStderr();
    setUpLog(empty[0], empty[1], empty[2]);
    usePaths(folder, logPath, paramPath);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "tessiport: log folder " + dir + " not used: other users may write to it\n" +
                  "tessiport: log folder " + dir + " not used: other users may write to it\n");
    EXPECT_STREQ(empty[1], "");
    EXPECT_STREQ(parameterFilePath(), "");  // nothing is read from such a folder
    ::unsetenv("QEL_DATA_DIR");
}

// The data folder's paths for the log writer: `folder`/tessiport.log and km4_cl_param.ini.
std::string useFolder(const std::string& folder) {
    const std::string parameters = folder + "/km4_cl_param.ini";
    usePaths(folder.c_str(), (folder + "/tessiport.log").c_str(), parameters.c_str());
    return parameters;
}

// Fields: baudrate, ClockFrequency, CCline, DataFormat, Transmit; 9600/0/0/1/0 when absent.
TEST(ParameterFile, KeysCommentsAndNumberForms) {
    const struct {
        const char* content;
        uint32_t logBits;  // after the read
        TransferParametersBlock block;
    } cases[] = {
        {"logging=0x20003 // trace on\n", 0x20003, {}},
        {"LOGGING=65539\n", 0x10003, {}},
        {"CLCCLINE=12\n", 3, {9600, 0, 12, 1, 0}},
        {"CLCCLINE=0x1F\nCLTRANSMIT=0x3\n", 3, {9600, 0, 31, 1, 3}},
        {"clbaudrate=115200\r\nClClockFrequency=40000000\r\ncldataformat=2\r\nCLTRANSMIT=5\r\n", 3,
         {115200, 40000000, 0, 2, 5}},
        {"// CLBAUDRATE=38400\nCLCCLINE=5\n", 3, {9600, 0, 5, 1, 0}},
        {"CLCCLINE=5 // CLBAUDRATE=38400\r\nCLDATAFORMAT=3\n", 3, {9600, 0, 5, 3, 0}},
        {"CLCCLINE=5 // CLBAUDRATE=38400", 3, {9600, 0, 5, 1, 0}},  // comment at the very end
        {"BOARD01_CLBAUDRATE=19200\n", 3, {19200, 0, 0, 1, 0}},
        {"CLBAUDRATE=57600\nBOARD01_CLBAUDRATE=19200\n", 3, {57600, 0, 0, 1, 0}},
        {"CLBAUDRATE=abc\nCLCLOCKFREQUENCY=99999999999\n", 3, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content);
        test::LogCapture log(3);
        test::writeText(useFolder(log.folder().path()), c.content);
        TransferParametersBlock block;
        EXPECT_EQ(get_param_file(&block), TP_OK);
        EXPECT_EQ(logBits(), c.logBits);
        const auto fields = [](const TransferParametersBlock& b) {
            return std::vector<uint32_t>{b.baudrate, b.ClockFrequency, b.CCline, b.DataFormat,
                                         b.Transmit};
        };
        EXPECT_EQ(fields(block), fields(c.block));
    }
}

TEST(ParameterFile, LogLinesAndMissingFile) {
    test::LogCapture log(0x10003);
    const std::string path = useFolder(log.folder().path());
    EXPECT_EQ(get_param_file(nullptr), TP_ERR_PARAMETER_FILE);
    test::writeText(path, "CLCCLINE=7\nCLCCLINE=0x1F\nCLTRANSMIT=0x3\nCLDATAFORMAT=2\n");
    TransferParametersBlock block;
    EXPECT_EQ(get_param_file(&block), TP_OK);
    const std::vector<std::string> lines = log.lines();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0], "get_param_file: open file " + path + " failed");
    EXPECT_EQ(lines[1].rfind("parameter file found cl_par 0x", 0), 0u);
    EXPECT_THAT(std::vector<std::string>(lines.begin() + 2, lines.end()),
                testing::ElementsAre("get file Parameters for all Boards", "file CCline 7",
                                     "file CCline 31", "file DataFormat 2 ", "file Transmit 0 0x0",
                                     "file Transmit 3 0x3"));
}

// Names under which the library's files stand but that are no regular files: a FIFO (whose open
// would block the host), a folder, a device. Each is refused at once with the code for a file
// that cannot be opened, and left as it is.

// Runs `call` and gives it two seconds: a call blocked in a FIFO's open is released by opening
// the FIFO for writing, so the test fails instead of hanging.
uint32_t withinTwoSeconds(const std::string& path, const std::function<uint32_t()>& call) {
    auto done = std::async(std::launch::async, call);
    if (done.wait_for(std::chrono::seconds(2)) != std::future_status::ready) {
        ADD_FAILURE() << "still opening " << path << " after two seconds";
        const int writer = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0)
            ::close(writer);
    }
    return done.get();
}

TEST(OddFiles, AreRefusedWithoutBlocking) {
    using Plant = bool (*)(const char*);
    const struct {
        const char* name;
        Plant plant;
        mode_t type;  // what stat finds there afterwards
    } kinds[] = {
        {"FIFO", [](const char* path) { return ::mkfifo(path, 0600) == 0; }, S_IFIFO},
        {"folder", [](const char* path) { return ::mkdir(path, 0700) == 0; }, S_IFDIR},
        {"device", [](const char* path) { return ::symlink("/dev/null", path) == 0; }, S_IFCHR},
    };
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.name);
        const auto plant = [&](const std::string& path) { return kind.plant(path.c_str()); };
        const auto stillPlanted = [&](const std::string& path) {
            struct stat info {};
            return ::stat(path.c_str(), &info) == 0 && (info.st_mode & S_IFMT) == kind.type;
        };
        {
            // The parameter file.
            test::LogCapture log(0x10003);
            const std::string path = useFolder(log.folder().path());
            ASSERT_TRUE(plant(path));
            TransferParametersBlock block;
            EXPECT_EQ(withinTwoSeconds(path, [&] { return get_param_file(&block); }),
                      TP_ERR_PARAMETER_FILE);
            EXPECT_EQ(log.lines(),
                      std::vector<std::string>{"get_param_file: open file " + path + " failed"});
            EXPECT_TRUE(stillPlanted(path));
        }
        {
            // The log file a host names.
            tools::TempFolder folder;
            const std::string path = folder.path("host.log");
            ASSERT_TRUE(plant(path));
            EXPECT_EQ(withinTwoSeconds(path, [&] { return Enable_Message_Log(3, path.c_str()); }),
                      TP_ERR_MISSING_FUNCTION);
            EXPECT_FALSE(logFileIsOpen());
            EXPECT_TRUE(stillPlanted(path));
        }
        {
            // The log file in the data folder, opened at attach when it exists.
            tools::TempFolder scratch;
            const std::string dir = scratch.path("qel");
            ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
            ASSERT_TRUE(plant(dir + "/tessiport.log"));
            ::setenv("QEL_DATA_DIR", dir.c_str(), 1);
            char folder[kLibraryPathLength] = {}, logPath[kLibraryPathLength] = {},
                 paramPath[kLibraryPathLength] = {};
            withinTwoSeconds(dir + "/tessiport.log", [&] {
                setUpLog(folder, logPath, paramPath);
                return 0u;
            });
            EXPECT_FALSE(logFileIsOpen());
            EXPECT_TRUE(stillPlanted(dir + "/tessiport.log"));
            ::unsetenv("QEL_DATA_DIR");
            endLog();
        }
    }
}

}  // namespace
}  // namespace tessiport
